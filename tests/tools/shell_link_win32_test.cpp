// Shortcut files as Windows reads them: the shell's own link object loads
// what the writer wrote and resolves it to the target, working folder,
// arguments and description; and the Start Menu shortcut's place.
#include <gtest/gtest.h>
#include <windows.h>
#include <shlobj.h>
#include <shobjidl.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "base/paths.h"
#include "tests/base/scoped_env.h"
#include "tests/support/test_support.h"
#include "tools/shell_link.h"

using twtest::Narrow;
using twtest::U16;
namespace fs = std::filesystem;

namespace {

struct sResolved {
  std::wstring path, folder, arguments, description, icon;
  bool loaded = false;
};

sResolved Resolve(const std::string& link) {
  sResolved out;
  IShellLinkW* shell = nullptr;
  if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                              reinterpret_cast<void**>(&shell)))) {
    return out;
  }
  IPersistFile* file = nullptr;
  if (SUCCEEDED(shell->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file)))) {
    out.loaded = SUCCEEDED(file->Load(fs::u8path(link).wstring().c_str(), STGM_READ));
    wchar_t text[1024];
    int index = 0;
    if (SUCCEEDED(shell->GetPath(text, 1024, nullptr, SLGP_RAWPATH))) out.path = text;
    if (SUCCEEDED(shell->GetWorkingDirectory(text, 1024))) out.folder = text;
    if (SUCCEEDED(shell->GetArguments(text, 1024))) out.arguments = text;
    if (SUCCEEDED(shell->GetDescription(text, 1024))) out.description = text;
    if (SUCCEEDED(shell->GetIconLocation(text, 1024, &index))) out.icon = text;
    file->Release();
  }
  shell->Release();
  return out;
}

std::wstring Win(const std::string& utf8) {
  std::wstring w = fs::u8path(utf8).wstring();
  for (wchar_t& c : w) {
    if (c == L'/') c = L'\\';
  }
  return w;
}

class ShellLinkWin32 : public ::testing::Test {
protected:
  void SetUp() override { CoInitialize(nullptr); }
  void TearDown() override { CoUninitialize(); }
  twtest::TempDir tmp;
};

TEST_F(ShellLinkWin32, TheShellResolvesWhatWasWritten) {
  const std::string app = tmp.path() + "/App Folder/app.exe";
  fs::create_directories(fs::u8path(tmp.path() + "/App Folder"));
  std::ofstream(fs::u8path(app)) << "MZ program";
  std::ofstream(fs::u8path(tmp.path() + "/App Folder/app.ico")) << "icon";
  const std::string link = tmp.path() + "/App.lnk";
  ASSERT_TRUE(WriteShellLinkFile(U16(tmp.path() + "/App Folder/").c_str(),
                                 U16(tmp.path() + "/App Folder/app.ico").c_str(), U16(link).c_str(),
                                 U16(app).c_str(), u"Start the app", false, u"--fast \"x\""));
  const sResolved r = Resolve(link);
  ASSERT_TRUE(r.loaded);
  EXPECT_EQ(r.path, Win(app));
  EXPECT_EQ(r.folder, Win(tmp.path() + "/App Folder/"));
  EXPECT_EQ(r.arguments, L"--fast \"x\"");
  EXPECT_EQ(r.description, L"Start the app");
  EXPECT_EQ(r.icon, Win(tmp.path() + "/App Folder/app.ico"));
}

TEST_F(ShellLinkWin32, MissingPiecesAreRefused) {
  const std::string app = tmp.path() + "/app.exe";
  std::ofstream(fs::u8path(app)) << "MZ";
  const std::string link = tmp.path() + "/x.lnk";
  // Nothing at the target: no file at all.
  EXPECT_FALSE(WriteShellLinkFile(nullptr, nullptr, U16(link).c_str(),
                                  U16(tmp.path() + "/none.exe").c_str(), nullptr, false, nullptr));
  EXPECT_FALSE(fs::exists(fs::u8path(link)));
  // A working folder or icon that does not exist.
  EXPECT_FALSE(WriteShellLinkFile(U16(tmp.path() + "/nowhere").c_str(), nullptr, U16(link).c_str(),
                                  U16(app).c_str(), nullptr, false, nullptr));
  EXPECT_FALSE(WriteShellLinkFile(nullptr, U16(tmp.path() + "/none.ico").c_str(), U16(link).c_str(),
                                  U16(app).c_str(), nullptr, false, nullptr));
  // A folder target.
  ASSERT_TRUE(WriteShellLinkFile(nullptr, nullptr, U16(link).c_str(), U16(tmp.path()).c_str(), nullptr,
                                 false, nullptr));
  const sResolved r = Resolve(link);
  ASSERT_TRUE(r.loaded);
  EXPECT_EQ(r.path, Win(tmp.path()));
}

TEST_F(ShellLinkWin32, StartMenuShortcutInItsGroup) {
  twtest::ScopedEnv all("ALLUSERSPROFILE", tmp.path().c_str());
  fs::create_directories(fs::u8path(tmp.path() + "/Microsoft/Windows/Start Menu/Programs"));
  const std::string app = tmp.path() + "/Tarn/tarn.exe";
  fs::create_directories(fs::u8path(tmp.path() + "/Tarn"));
  std::ofstream(fs::u8path(app)) << "MZ";
  _guardchar<char16_t> link;
  ASSERT_TRUE(CreateShortcut(u"Tarn: the app?", U16(app).c_str(), link, u"Tarn Group", nullptr,
                             u"Tarn", false, nullptr));
  ASSERT_NE(link.text, nullptr);
  const std::string path = Narrow(link.text);
  EXPECT_EQ(path.rfind(".lnk"), path.size() - 4);
  EXPECT_EQ(path.find(tmp.path() + "/Microsoft/Windows/Start Menu/Programs/Tarn Group/"), 0u) << path;
  EXPECT_EQ(path.find(':', 2), std::string::npos) << path;  // the name made safe
  const sResolved r = Resolve(path);
  ASSERT_TRUE(r.loaded);
  EXPECT_EQ(r.path, Win(app));
  EXPECT_EQ(r.folder, Win(tmp.path() + "/Tarn/"));
  EXPECT_FALSE(CreateShortcut(u"", U16(app).c_str(), link, nullptr, nullptr, nullptr, false, nullptr));
}

}  // namespace
