// tarnwick.exe's "uninstall" and "remove" verbs, started as child programs
// whose message boxes the test answers with keys sent to their windows.
// Every folder the program looks at (data stores, temporary folder,
// programs folder, Start Menu) is a temporary folder of the test's own.
#include <gtest/gtest.h>

#include <windows.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "base/fileio.h"
#include "base/full_config.h"
#include "base/registry.h"
#include "package/cmd_block.h"
#include "tests/support/install_fixture.h"
#include "tests/base/scoped_env.h"
#include "tests/support/capture.h"
#include "tests/support/test_support.h"
#include "tools/install_record.h"
#include "tools/shell_link.h"
#include "tools/uninstall_entry.h"

using twtest::Narrow;
using twtest::ScopedEnv;
using twtest::U16;
namespace fs = std::filesystem;

namespace {

constexpr auto kWait = std::chrono::seconds(120);

template <class P>
bool WaitFor(P pred) {
  const auto end = std::chrono::steady_clock::now() + kWait;
  while (std::chrono::steady_clock::now() < end) {
    if (pred()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  return pred();
}

void Touch(const std::string& path, const std::string& content = "x") {
  fs::create_directories(fs::u8path(path).parent_path());
  std::ofstream(fs::u8path(path), std::ios::binary) << content;
}

bool Exists(const std::string& path) { return fs::exists(fs::u8path(path)); }

std::string Utf8(const fs::path& p) {
  const auto u = p.generic_u8string();
  return std::string(u.begin(), u.end());
}

// Every file and folder below root with the files' contents, leaving out
// the folders named in skip (relative to root).
std::map<std::string, std::string> Snapshot(const std::string& root, const std::set<std::string>& skip) {
  std::map<std::string, std::string> out;
  for (auto it = fs::recursive_directory_iterator(fs::u8path(root)); it != fs::recursive_directory_iterator(); ++it) {
    const std::string rel = Utf8(it->path().lexically_relative(fs::u8path(root)));
    if (skip.count(rel) != 0) {
      it.disable_recursion_pending();
      continue;
    }
    out[rel] = it->is_directory() ? "<dir>" : std::to_string(fs::file_size(it->path())) + " bytes";
  }
  return out;
}

// The names of the Uninstall entries of both roots that begin with stem
// (other test programs add and remove their own at the same time).
std::set<std::wstring> UninstallKeys(const std::wstring& stem) {
  std::set<std::wstring> out;
  for (HKEY root : {HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER}) {
    HKEY key;
    if (RegOpenKeyExW(root, L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall", 0,
                      KEY_READ | KEY_WOW64_64KEY, &key) != ERROR_SUCCESS)
      continue;
    wchar_t name[256];
    for (DWORD i = 0;; ++i) {
      DWORD length = 256;
      if (RegEnumKeyExW(key, i, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
      if (std::wstring(name).rfind(stem, 0) == 0) out.insert((root == HKEY_CURRENT_USER ? L"HKCU\\" : L"HKLM\\") + std::wstring(name));
    }
    RegCloseKey(key);
  }
  return out;
}

struct sExeRun {
  bool started = false;
  bool ended = false;
  DWORD exitCode = 0;
  std::vector<std::wstring> boxes;  // titles of the message boxes, in order
};

struct sFindWindows {
  DWORD pid;
  std::vector<HWND> found;
};

BOOL CALLBACK CollectWindow(HWND hwnd, LPARAM user) {
  auto* find = reinterpret_cast<sFindWindows*>(user);
  DWORD pid = 0;
  GetWindowThreadProcessId(hwnd, &pid);
  if (pid == find->pid && IsWindowVisible(hwnd)) find->found.push_back(hwnd);
  return TRUE;
}

// Runs commandLine and answers each message box it shows (titles
// "Confirm", "Information", "Error") with the key keyFor gives (Enter or
// Escape), posted again while the box stays. Gives up (and ends the child)
// after a generous time.
sExeRun RunAnswering(const std::u16string& commandLine, const std::function<WPARAM(const std::wstring&)>& keyFor) {
  sExeRun run;
  STARTUPINFOW si = {};
  si.cb = sizeof(si);
  PROCESS_INFORMATION pi = {};
  std::vector<wchar_t> line(commandLine.begin(), commandLine.end());
  line.push_back(0);
  run.started = CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi) != 0;
  if (!run.started) return run;
  std::map<HWND, std::chrono::steady_clock::time_point> posted;
  const auto end = std::chrono::steady_clock::now() + kWait;
  while (std::chrono::steady_clock::now() < end) {
    if (WaitForSingleObject(pi.hProcess, 100) == WAIT_OBJECT_0) {
      run.ended = true;
      break;
    }
    sFindWindows find{pi.dwProcessId, {}};
    EnumWindows(CollectWindow, reinterpret_cast<LPARAM>(&find));
    for (HWND hwnd : find.found) {
      wchar_t title[256] = {};
      GetWindowTextW(hwnd, title, 256);
      const std::wstring t(title);
      // The language question (a package without a recorded language) is
      // the one form without a title: Enter takes the preselected language.
      const bool language = t.empty();
      if (!language && t != L"Confirm" && t != L"Information" && t != L"Error") continue;
      const auto now = std::chrono::steady_clock::now();
      auto seen = posted.find(hwnd);
      if (seen == posted.end()) {
        if (!language) run.boxes.push_back(t);
      } else if (now - seen->second < std::chrono::seconds(1)) {
        continue;
      }
      posted[hwnd] = now;
      // Sent straight to the window that hosts the form (the dialog
      // frame's only child): the dialog loop would take a posted Enter or
      // Escape for itself.
      HWND host = GetWindow(hwnd, GW_CHILD);
      DWORD_PTR ignored = 0;
      SendMessageTimeoutW(host != nullptr ? host : hwnd, WM_KEYDOWN, language ? VK_RETURN : keyFor(t), 0, SMTO_ABORTIFHUNG, 5000, &ignored);
    }
  }
  if (!run.ended) {
    sFindWindows find{pi.dwProcessId, {}};
    EnumWindows(CollectWindow, reinterpret_cast<LPARAM>(&find));
    for (HWND hwnd : find.found) {
      wchar_t title[256] = {};
      GetWindowTextW(hwnd, title, 256);
      ADD_FAILURE() << "left open: " << Narrow(std::u16string(reinterpret_cast<const char16_t*>(title)));
    }
    TerminateProcess(pi.hProcess, 99);
  }
  WaitForSingleObject(pi.hProcess, 10000);
  GetExitCodeProcess(pi.hProcess, &run.exitCode);
  CloseHandle(pi.hThread);
  CloseHandle(pi.hProcess);
  return run;
}

WPARAM AlwaysEnter(const std::wstring&) { return VK_RETURN; }
WPARAM DeclineQuestions(const std::wstring& title) { return title == L"Confirm" ? VK_ESCAPE : VK_RETURN; }

std::u16string Quoted(const std::string& path) { return U16("\"" + path + "\""); }

class TarnwickUninstall : public ::testing::Test {
protected:
  void SetUp() override {
    root_ = tmp_.path();
    for (const char* sub : {"/appdata", "/programdata", "/temp", "/programs", "/allusers/Microsoft/Windows/Start Menu/Programs"})
      fs::create_directories(fs::u8path(root_ + sub));
    env_.push_back(std::make_unique<ScopedEnv>("APPDATA", (root_ + "/appdata").c_str()));
    env_.push_back(std::make_unique<ScopedEnv>("ProgramData", (root_ + "/programdata").c_str()));
    env_.push_back(std::make_unique<ScopedEnv>("TEMP", (root_ + "/temp").c_str()));
    env_.push_back(std::make_unique<ScopedEnv>("TMP", (root_ + "/temp").c_str()));
    env_.push_back(std::make_unique<ScopedEnv>("ProgramW6432", (root_ + "/programs").c_str()));
    env_.push_back(std::make_unique<ScopedEnv>("ALLUSERSPROFILE", (root_ + "/allusers").c_str()));
    // The Start Menu of a real system is never empty.
    Touch(root_ + "/allusers/Microsoft/Windows/Start Menu/Programs/Other.lnk", "someone else's");
    static int serial = 0;
    code_ = U16("twtest-exe-" + std::to_string(GetCurrentProcessId()) + "-" + std::to_string(serial++));
    manager_ = root_ + "/programs/Common Files/Vornak/tarnwick.exe";
    fs::create_directories(fs::u8path(manager_).parent_path());
    fs::copy_file(fs::u8path(twtest::BinaryPath("tarnwick.exe")), fs::u8path(manager_));
    // The stores exist from the first start on; the comparisons leave them out.
    ASSERT_TRUE(store_.Create(u"qxv") || true);
    ASSERT_TRUE(store_.Open(u"qxv"));
  }
  void TearDown() override {
    DeleteUninstallEntry(code_.c_str(), false);
    DeleteUninstallEntry(code_.c_str(), true);
  }

  std::map<std::string, std::string> Files() { return Snapshot(root_, {"appdata", "programdata/Vornak"}); }
  std::set<std::wstring> Keys() { return UninstallKeys(L"twtest-exe-"); }
  std::string RecordKey() const { return "install/" + Narrow(code_); }

  // What an installation of a package leaves.
  void Install() {
    const std::string app = root_ + "/programs/Tarn App";
    Touch(app + "/app.exe", "exe");
    Touch(app + "/lib/b.dll", "dll");
    Touch(app + "/docs/readme.txt", "text");
    _guardchar<char16_t> link;
    ASSERT_TRUE(CreateShortcut(u"Tarn App", U16(app + "/app.exe").c_str(), link, u"Tarn App", nullptr, nullptr, false, nullptr));
    std::vector<std::u16string> files = {U16(app + "/app.exe"), U16(app + "/lib/b.dll"), U16(app + "/docs/readme.txt")};
    std::vector<const char16_t*> filePtrs, linkPtrs = {link.text};
    for (const auto& f : files) filePtrs.push_back(f.c_str());
    sInstallRecordData r;
    r.version = 0x0001000000000000ull;
    r.name = u"Tarn App";
    r.files = filePtrs.data();
    r.fileCount = 3;
    r.shortcuts = linkPtrs.data();
    r.shortcutCount = 1;
    cCIAppConfig* machine = store_.GetMachineConfig();
    WriteInstallRegistration(machine, r, RecordKey().c_str());
    machine->SetString(tw::kKeyInstallerApp, U16(manager_).c_str(), -1);
    ASSERT_TRUE(machine->Save());
    sUninstallEntryData e;
    e.codename = code_.c_str();
    e.version = r.version;
    e.displayName = u"Tarn App";
    ASSERT_TRUE(WriteUninstallEntry(e, U16(manager_).c_str(), false));
  }

  bool RecordExists() {
    cCIAppFullConfig fresh;
    return fresh.Open(u"qxv") && fresh.Exists(RecordKey().c_str());
  }

  twtest::TempDir tmp_;
  std::string root_, manager_;
  std::u16string code_;
  std::vector<std::unique_ptr<ScopedEnv>> env_;
  cCIAppFullConfig store_;
};

TEST_F(TarnwickUninstall, RemovesAnInstallationAndLeavesNothingBehind) {
  const auto files = Files();
  const auto keys = Keys();
  Install();
  ASSERT_NE(Files(), files);
  ASSERT_NE(Keys(), keys);
  const sExeRun run = RunAnswering(Quoted(manager_) + u" uninstall " + code_, AlwaysEnter);
  ASSERT_TRUE(run.ended);
  EXPECT_EQ(run.exitCode, 0u);
  EXPECT_EQ(run.boxes, (std::vector<std::wstring>{L"Confirm", L"Information"}));
  EXPECT_EQ(Files(), files);  // the manager included
  EXPECT_EQ(Keys(), keys);
  EXPECT_FALSE(RecordExists());
  EXPECT_TRUE(Exists(manager_));
}

TEST_F(TarnwickUninstall, DecliningLeavesEverything) {
  Install();
  const auto files = Files();
  const auto keys = Keys();
  const sExeRun run = RunAnswering(Quoted(manager_) + u" uninstall " + code_, DeclineQuestions);
  ASSERT_TRUE(run.ended);
  EXPECT_EQ(run.exitCode, 1u);
  EXPECT_EQ(run.boxes, (std::vector<std::wstring>{L"Confirm", L"Information"}));
  EXPECT_EQ(Files(), files);
  EXPECT_EQ(Keys(), keys);
  EXPECT_TRUE(RecordExists());
}

TEST_F(TarnwickUninstall, AnUnknownCodenameEndsWithOne) {
  const sExeRun run = RunAnswering(Quoted(manager_) + u" uninstall " + code_, AlwaysEnter);
  ASSERT_TRUE(run.ended);
  EXPECT_EQ(run.exitCode, 1u);
  EXPECT_EQ(run.boxes, (std::vector<std::wstring>{L"Error"}));
}

// Another product's uninstaller runs to its end, however much it writes
// and whether or not it waits for input.
TEST_F(TarnwickUninstall, ForeignUninstallers) {
  const std::u16string fake = Quoted(twtest::BinaryPath("tw_fake_uninstaller.exe"));
  const struct {
    const char16_t* args;
    DWORD exitCode;
    const wchar_t* box;
  } cases[] = {
      {u" exit 0", 0, L"Information"},
      {u" exit 3", 1, L"Error"},
      {u" flood 24", 0, L"Information"},
      {u" read", 0, L"Information"},
  };
  for (const auto& c : cases) {
    cRegKey key;
    const std::u16string path = u"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\" + code_;
    ASSERT_TRUE(CreateRegKey(key, tw::kRegLocalMachine, nullptr, path.c_str(),
                             tw::kRegRead | tw::kRegWrite | tw::kRegView64));
    ASSERT_TRUE(WriteRegDword(1, key, u"MajorVersion"));
    ASSERT_TRUE(WriteRegString(key, (fake + c.args).c_str(), u"UninstallString"));
    key.CloseRegKey();
    const sExeRun run = RunAnswering(Quoted(manager_) + u" uninstall " + code_, AlwaysEnter);
    ASSERT_TRUE(run.ended) << Narrow(c.args);
    EXPECT_EQ(run.exitCode, c.exitCode) << Narrow(c.args);
    EXPECT_EQ(run.boxes, (std::vector<std::wstring>{c.box})) << Narrow(c.args);
    DeleteUninstallEntry(code_.c_str(), false);
  }
}

// After the last package the manager removes itself: the running file is
// gone soon after it exits, with its script and its shortcut.
TEST_F(TarnwickUninstall, RemoveDeletesTheManagerItsScriptAndItsShortcut) {
  _guardchar<char16_t> link;
  ASSERT_TRUE(CreateShortcut(u"Software manager", U16(manager_).c_str(), link, u"Vornak", nullptr, nullptr, false, nullptr));
  cCIAppConfig* machine = store_.GetMachineConfig();
  machine->SetString(tw::kKeyInstallerShortcut, link.text, -1);
  machine->SetString(tw::kKeyInstallerApp, U16(manager_).c_str(), -1);
  ASSERT_TRUE(machine->Save());
  const sExeRun run = RunAnswering(Quoted(manager_) + u" remove", AlwaysEnter);
  ASSERT_TRUE(run.ended);
  EXPECT_EQ(run.exitCode, 0u);
  EXPECT_EQ(run.boxes, (std::vector<std::wstring>{L"Confirm", L"Information"}));
  EXPECT_TRUE(WaitFor([&] { return !Exists(manager_); })) << "the manager is still there";
  EXPECT_FALSE(fs::exists(fs::path(std::wstring(reinterpret_cast<const wchar_t*>(link.text)))));
  EXPECT_TRUE(WaitFor([&] {
    for (const auto& e : fs::directory_iterator(fs::u8path(root_ + "/temp")))
      if (e.path().extension() == ".cmd") return false;
    return true;
  })) << "the script is still there";
}

TEST_F(TarnwickUninstall, RemoveIsRefusedWhilePackagesAreInstalled) {
  Install();
  const sExeRun run = RunAnswering(Quoted(manager_) + u" remove", AlwaysEnter);
  ASSERT_TRUE(run.ended);
  EXPECT_EQ(run.exitCode, 1u);
  EXPECT_EQ(run.boxes, (std::vector<std::wstring>{L"Error"}));
  EXPECT_TRUE(Exists(manager_));
}

// ---- With the installer -------------------------------------------------------

class InstallThenUninstall : public twtest::InstallTest {
protected:
  void SetUp() override {
    twtest::InstallTest::SetUp();
    fs::create_directories(fs::u8path(tmp_.path() + "/temp"));
    temp_ = std::make_unique<ScopedEnv>("TEMP", (tmp_.path() + "/temp").c_str());
    // The Start Menu of a real system is never empty.
    Touch(tmp_.path() + "/allusers/Microsoft/Windows/Start Menu/Programs/Other.lnk", "someone else's");
  }
  // The setup file of spec: tarnwick.exe, its block filled, the package
  // appended.
  std::string MakeSetup(const twtest::sPackageSpec& spec) {
    const std::string program = twtest::FileContent(twtest::BinaryPath("tarnwick.exe"));
    const std::string package = twtest::FileContent(WritePackage(spec));
    cFileIO exe;
    EXPECT_TRUE(exe.Open(U16(twtest::BinaryPath("tarnwick.exe")).c_str(), kFileRead));
    const int64_t at = FindCmdBlock(&exe);
    EXPECT_GE(at, 0);
    std::string setup = program + package;
    uint8_t block[tw::kCmdBlockSize];
    EXPECT_TRUE(WriteCmdBlock(block, static_cast<uint32_t>(at), static_cast<uint32_t>(program.size()), nullptr, 0));
    std::memcpy(setup.data() + at, block, sizeof block);
    const std::string path = tmp_.path() + "/setup/setup.exe";
    fs::create_directories(fs::u8path(path).parent_path());
    std::ofstream(fs::u8path(path), std::ios::binary) << setup;
    return path;
  }
  std::map<std::string, std::string> Files() {
    return Snapshot(tmp_.path(), {"appdata", "programdata/Vornak", "temp", "setup", "prog", "pkg-0.bin"});
  }
  std::wstring Code() const { return std::wstring(codename_.begin(), codename_.end()); }
  std::unique_ptr<ScopedEnv> temp_;
};

// The example installed silently by its setup file, then uninstalled by
// the manager it left: every file and registry key is as before, except
// the manager and its own shortcut, which stay.
TEST_F(InstallThenUninstall, NothingIsLeftBehind) {
  twtest::sPackageSpec spec;
  spec.files["app.exe"] = twtest::Noise(200000, 21);
  spec.files["readme.txt"] = "read me";
  spec.files["data/deep/values.dat"] = twtest::Noise(5000, 22);
  const auto files = Files();
  const auto keys = UninstallKeys(Code());
  const std::string setup = MakeSetup(spec);
  const twtest::sCaptured install = twtest::RunCaptured(Quoted(setup) + u" silent");
  ASSERT_TRUE(install.started);
  ASSERT_EQ(install.exitCode, 0u);
  ASSERT_NE(Files(), files);
  ASSERT_NE(UninstallKeys(Code()), keys);

  const sExeRun run = RunAnswering(Quoted(ManagerPath()) + u" uninstall " + codename_, AlwaysEnter);
  ASSERT_TRUE(run.ended);
  EXPECT_EQ(run.exitCode, 0u);
  EXPECT_EQ(run.boxes, (std::vector<std::wstring>{L"Confirm", L"Information"}));

  auto after = Files();
  std::vector<std::string> stays;
  for (const auto& [path, what] : after) {
    if (files.count(path) == 0) stays.push_back(path);
  }
  EXPECT_EQ(stays, (std::vector<std::string>{
                       "allusers/Microsoft/Windows/Start Menu/Programs/Vornak",
                       "allusers/Microsoft/Windows/Start Menu/Programs/Vornak/Software Packages management.lnk",
                       "programs/Common Files", "programs/Common Files/Vornak",
                       "programs/Common Files/Vornak/tarnwick.exe"}));
  for (const std::string& path : stays) after.erase(path);
  EXPECT_EQ(after, files);
  EXPECT_EQ(UninstallKeys(Code()), keys);
  EXPECT_FALSE(OpenStore()->Exists(("install/" + Narrow(codename_)).c_str()));
}

}  // namespace
