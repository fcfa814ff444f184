// The example product's setup file (examples/demo, built with this build's
// tarnwick.exe and the verb "make") started without arguments under Wine:
// the language question, the start form and the wizard are driven from
// outside by keys and clicks sent to its windows, as a user would, up to
// Close on the finish page, which starts the example program. The end state
// is then compared with what the same setup file leaves when it runs with
// "silent" into a second, separate set of folders: the installed files, the
// shortcuts, the Uninstall values and the store's record must agree.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "base/full_config.h"
#include "tests/base/scoped_env.h"
#include "tests/support/capture.h"
#include "tests/support/install_fixture.h"
#include "tests/support/test_support.h"

using namespace std::chrono_literals;
using twtest::FileContent;
using twtest::Narrow;
using twtest::RunCaptured;
using twtest::ScopedEnv;
using twtest::U16;
namespace fs = std::filesystem;

namespace {

constexpr auto kWait = 180s;
const wchar_t kWizardTitle[] = L"Hello Tarnwick software installer";
const char16_t kUninstallKey[] = u"HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\hello-tarnwick";

std::string Utf8(const fs::path& p) {
  const auto u = p.generic_u8string();
  return std::string(u.begin(), u.end());
}

// Every file below root, relative path -> content.
std::map<std::string, std::string> Files(const std::string& root) {
  std::map<std::string, std::string> out;
  if (!fs::exists(fs::u8path(root))) return out;
  for (const auto& e : fs::recursive_directory_iterator(fs::u8path(root))) {
    if (e.is_regular_file()) out[Utf8(e.path().lexically_relative(fs::u8path(root)))] = FileContent(Utf8(e.path()));
  }
  return out;
}

// The .lnk files below root, by relative path.
std::vector<std::string> Links(const std::string& root) {
  std::vector<std::string> out;
  for (const auto& e : fs::recursive_directory_iterator(fs::u8path(root)))
    if (e.path().extension() == ".lnk") out.push_back(Utf8(e.path().lexically_relative(fs::u8path(root))));
  std::sort(out.begin(), out.end());
  return out;
}

// text with every occurrence of from (in '/' and '\' spelling) replaced.
std::string Replaced(std::string text, std::string from, const std::string& to) {
  for (int pass = 0; pass < 2; ++pass) {
    for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
      text.replace(at, from.size(), to);
    std::replace(from.begin(), from.end(), '/', '\\');
  }
  return text;
}

struct sFind {
  DWORD pid;
  std::vector<HWND> found;
};

BOOL CALLBACK Collect(HWND hwnd, LPARAM user) {
  auto* find = reinterpret_cast<sFind*>(user);
  DWORD pid = 0;
  GetWindowThreadProcessId(hwnd, &pid);
  if (pid == find->pid && IsWindowVisible(hwnd)) find->found.push_back(hwnd);
  return TRUE;
}

std::wstring Title(HWND w) {
  wchar_t text[256] = {};
  GetWindowTextW(w, text, 255);
  return text;
}

// Keys and clicks go to the element window inside the dialog frame, sent
// so that each is handled before the next.
HWND HostOf(HWND dialog) {
  HWND child = GetWindow(dialog, GW_CHILD);
  return child != nullptr ? child : dialog;
}

void SendKey(HWND dialog, WPARAM key) {
  DWORD_PTR ignored = 0;
  SendMessageTimeoutW(HostOf(dialog), WM_KEYDOWN, key, 1, SMTO_ABORTIFHUNG, 5000, &ignored);
  SendMessageTimeoutW(HostOf(dialog), WM_KEYUP, key, 0xC0000001, SMTO_ABORTIFHUNG, 5000, &ignored);
}

void SendClick(HWND dialog, int x, int y) {
  DWORD_PTR ignored = 0;
  const LPARAM at = MAKELPARAM(x, y);
  SendMessageTimeoutW(HostOf(dialog), WM_MOUSEMOVE, 0, at, SMTO_ABORTIFHUNG, 5000, &ignored);
  SendMessageTimeoutW(HostOf(dialog), WM_LBUTTONDOWN, MK_LBUTTON, at, SMTO_ABORTIFHUNG, 5000, &ignored);
  SendMessageTimeoutW(HostOf(dialog), WM_LBUTTONUP, 0, at, SMTO_ABORTIFHUNG, 5000, &ignored);
}

class ExampleWizard : public ::testing::Test {
protected:
  // Private programs, data, temporary and Start Menu folders below root for
  // this process and its children.
  void UseRoot(const std::string& root) {
    env_.clear();
    for (const char* sub : {"/programs", "/appdata", "/programdata", "/temp",
                            "/allusers/Microsoft/Windows/Start Menu/Programs"})
      fs::create_directories(fs::u8path(root + sub));
    for (const auto& [name, sub] : std::vector<std::pair<const char*, const char*>>{
             {"ProgramW6432", "/programs"},
             {"ProgramFiles", "/programs"},
             {"APPDATA", "/appdata"},
             {"ProgramData", "/programdata"},
             {"ALLUSERSPROFILE", "/allusers"},
             {"TEMP", "/temp"},
             {"TMP", "/temp"}}) {
      env_.push_back(std::make_unique<ScopedEnv>(name, (root + sub).c_str()));
    }
  }

  void TearDown() override {
    RunCaptured(u"reg delete \"" + std::u16string(kUninstallKey) + u"\" /f");
    RunCaptured(u"taskkill /f /im hello.exe");
    env_.clear();
  }

  // Stages the example and builds its setup file with this build's
  // tarnwick.exe; the setup file's path.
  std::string BuildSetup() {
    const std::string stage = tmp_.path() + "/stage";
    const fs::path demo = fs::u8path(twtest::SourcePath("examples/demo"));
    fs::create_directories(fs::u8path(stage + "/program"));
    fs::copy(demo / "scenario.txt", fs::u8path(stage + "/scenario.txt"));
    fs::copy(demo / "docs", fs::u8path(stage + "/docs"), fs::copy_options::recursive);
    fs::copy(demo / "files", fs::u8path(stage + "/files"), fs::copy_options::recursive);
    fs::copy_file(fs::u8path(twtest::BinaryPath("example_hello.exe")), fs::u8path(stage + "/program/hello.exe"));
    const std::string setup = stage + "/hello-setup.exe";
    const std::u16string exe = U16(twtest::BinaryPath("tarnwick.exe"));
    const std::wstring exeW(exe.begin(), exe.end());
    const std::wstring line = L"\"" + exeW + L"\" make scenario.txt hello-setup.exe \"" + exeW + L"\"";
    const std::u16string dir = U16(stage);
    const DWORD code = Run(line, std::wstring(dir.begin(), dir.end()), nullptr);
    EXPECT_EQ(code, 0u) << FileContent(stage + "/scenario.txt.log");
    return setup;
  }

  // Runs line in dir; while it runs, drive (when given) sees its visible
  // windows every 100 ms. The exit code (99 when it had to be ended).
  DWORD Run(const std::wstring& line, const std::wstring& dir,
            const std::function<void(const std::vector<HWND>&)>& drive) {
    STARTUPINFOW si = {};
    si.cb = sizeof(si);
    PROCESS_INFORMATION pi = {};
    std::vector<wchar_t> text(line.begin(), line.end());
    text.push_back(0);
    if (!CreateProcessW(nullptr, text.data(), nullptr, nullptr, FALSE, 0, nullptr,
                        dir.empty() ? nullptr : dir.c_str(), &si, &pi)) {
      ADD_FAILURE() << "cannot start";
      return 98;
    }
    pid_ = pi.dwProcessId;
    const auto end = std::chrono::steady_clock::now() + kWait;
    bool ended = false;
    while (std::chrono::steady_clock::now() < end) {
      if (WaitForSingleObject(pi.hProcess, 100) == WAIT_OBJECT_0) {
        ended = true;
        break;
      }
      if (drive) {
        sFind find{pi.dwProcessId, {}};
        EnumWindows(Collect, reinterpret_cast<LPARAM>(&find));
        drive(find.found);
      }
    }
    if (!ended) {
      ADD_FAILURE() << "the program did not end";
      TerminateProcess(pi.hProcess, 99);
    }
    WaitForSingleObject(pi.hProcess, 10000);
    DWORD code = 0;
    GetExitCodeProcess(pi.hProcess, &code);
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    return code;
  }

  // What an installation left below root, with root written as <root>.
  struct sState {
    std::map<std::string, std::string> files;
    std::vector<std::string> links;
    std::string uninstallValues;
    std::string name;
    int64_t fileCount = -1;
  };
  sState Capture(const std::string& root) {
    sState s;
    s.files = Files(root + "/programs");
    s.links = Links(root + "/allusers");
    const twtest::sCaptured reg = RunCaptured(u"reg query \"" + std::u16string(kUninstallKey) + u"\"");
    s.uninstallValues = reg.exitCode == 0 ? Replaced(reg.output, root, "<root>") : "";
    cCIAppFullConfig store;
    if (store.Open(u"qxv")) {
      _guardchar<char16_t> name;
      if (store.GetString("install/hello-tarnwick/name", name) && name.text != nullptr) s.name = Narrow(name.text);
      uint64_t count = 0;
      if (store.GetInt64("install/hello-tarnwick/files", count)) s.fileCount = static_cast<int64_t>(count);
    }
    return s;
  }

  twtest::TempDir tmp_;
  DWORD pid_ = 0;
  std::vector<std::unique_ptr<ScopedEnv>> env_;
};

TEST_F(ExampleWizard, RunsToTheEndAndLeavesWhatTheSilentInstallationLeaves) {
  const std::string setup = BuildSetup();
  ASSERT_TRUE(fs::exists(fs::u8path(setup)));
  const std::u16string setupW = U16(setup);
  const std::wstring quoted = L"\"" + std::wstring(setupW.begin(), setupW.end()) + L"\"";

  // The wizard, by keys and clicks.
  const std::string wizardRoot = tmp_.path() + "/wizard";
  UseRoot(wizardRoot);
  RunCaptured(u"reg delete \"" + std::u16string(kUninstallKey) + u"\" /f");
  int step = 0;
  bool languageAnswered = false;
  auto lastEnter = std::chrono::steady_clock::now();
  const DWORD wizardCode = Run(quoted, L"", [&](const std::vector<HWND>& windows) {
    for (HWND w : windows) {
      const std::wstring title = Title(w);
      if (title.empty() && !languageAnswered) {
        SendKey(w, VK_RETURN);  // the language question: English is preselected
        languageAnswered = true;
        continue;
      }
      if (title != kWizardTitle) continue;
      switch (step) {
        case 0:
          SendKey(w, VK_RETURN);      // welcome -> readme
          SendKey(w, VK_RETURN);      // refused: the readme needs its agreement
          SendClick(w, 198, 374);     // the agreement box
          SendKey(w, VK_RETURN);      // -> licence
          SendClick(w, 198, 374);     // accepted
          SendKey(w, VK_RETURN);      // -> target folder
          SendKey(w, VK_RETURN);      // -> installation
          step = 1;
          break;
        default: {
          // Enter does nothing while the installation runs; on the finish
          // page it is Close, which starts the ticked example program.
          const auto now = std::chrono::steady_clock::now();
          if (now - lastEnter > 1s) {
            SendKey(w, VK_RETURN);
            lastEnter = now;
          }
          break;
        }
      }
    }
  });
  EXPECT_EQ(wizardCode, 0u);
  EXPECT_TRUE(languageAnswered);
  const sState byWizard = Capture(wizardRoot);
  // The run entry ("yes") started the example program.
  EXPECT_EQ(RunCaptured(u"taskkill /f /im hello.exe").exitCode, 0u) << "hello.exe was not started";

  // The same setup file, silently, into other folders.
  RunCaptured(u"reg delete \"" + std::u16string(kUninstallKey) + u"\" /f");
  const std::string silentRoot = tmp_.path() + "/silent";
  UseRoot(silentRoot);
  EXPECT_EQ(Run(quoted + L" silent", L"", nullptr), 0u);
  const sState bySilent = Capture(silentRoot);

  ASSERT_FALSE(byWizard.files.empty());
  EXPECT_TRUE(byWizard.files.count("Hello Tarnwick/hello.exe") == 1);
  EXPECT_TRUE(byWizard.files.count("Common Files/Vornak/tarnwick.exe") == 1);
  EXPECT_EQ(byWizard.files.size(), bySilent.files.size());
  for (const auto& [path, content] : bySilent.files) {
    auto it = byWizard.files.find(path);
    ASSERT_NE(it, byWizard.files.end()) << path << " only after the silent installation";
    EXPECT_TRUE(it->second == content) << path << " differs";
  }
  EXPECT_EQ(byWizard.links, bySilent.links);
  EXPECT_FALSE(byWizard.links.empty());
  EXPECT_NE(byWizard.uninstallValues.find("DisplayName"), std::string::npos) << byWizard.uninstallValues;
  EXPECT_EQ(byWizard.uninstallValues, bySilent.uninstallValues);
  EXPECT_EQ(byWizard.name, "Hello Tarnwick");
  EXPECT_EQ(byWizard.name, bySilent.name);
  EXPECT_GT(byWizard.fileCount, 0);
  EXPECT_EQ(byWizard.fileCount, bySilent.fileCount);
}

}  // namespace
