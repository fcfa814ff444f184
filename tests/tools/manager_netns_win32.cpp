// tarnwick.exe started without arguments, the software manager's window end
// to end, run by tests/tools/update_netns.sh inside a network namespace of
// its own where the update endpoint's host name means 127.0.0.1 and
// tests/tools/update_server.py answers on port 80. Two packages are recorded
// as the installer records them; the endpoint offers a newer version of one.
// The test watches the program from outside, as a user would: the requests
// the server saw, the window's pixels (saved as screenshots), clicks posted
// to the window, the uninstaller's and the remover's boxes answered with
// keys, and the exit code.
#include <gtest/gtest.h>

#include <windows.h>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <map>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "base/full_config.h"
#include "base/guardchar.h"
#include "base/process.h"
#include "base/strings.h"
#include "tests/base/scoped_env.h"
#include "tests/gui/png_file.h"
#include "tests/support/capture.h"
#include "tests/support/gui_e2e.h"
#include "tests/support/test_support.h"
#include "tools/install_record.h"

namespace fs = std::filesystem;
using twtest::RgbImage;
using twtest::ScopedEnv;
using twtest::U16;

namespace {

constexpr auto kWait = std::chrono::seconds(120);
constexpr wchar_t kTitle[] = L"Vornak Software Manager";

template <class P>
bool WaitFor(P pred, std::chrono::seconds limit = kWait) {
  const auto end = std::chrono::steady_clock::now() + limit;
  while (std::chrono::steady_clock::now() < end) {
    if (pred()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  return pred();
}

std::string ReadAll(const std::string& path) {
  std::ifstream f(fs::u8path(path), std::ios::binary);
  if (!f) return "<missing>";
  return std::string(std::istreambuf_iterator<char>(f), {});
}

void WriteAll(const std::string& path, const std::string& bytes) {
  fs::create_directories(fs::u8path(path).parent_path());
  std::ofstream(fs::u8path(path), std::ios::binary) << bytes;
}

bool Exists(const std::string& path) { return fs::exists(fs::u8path(path)); }

size_t Occurrences(const std::string& text, const std::string& what) {
  size_t n = 0;
  for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
  return n;
}

// ---- Pixels of the window (client coordinates of the 770 x 480 window) ----

struct sRgb {
  uint8_t r, g, b;
};

sRgb At(const RgbImage& image, int x, int y) {
  const size_t i = (static_cast<size_t>(y) * image.width + x) * 3;
  return {image.rgb[i], image.rgb[i + 1], image.rgb[i + 2]};
}

// Pixels of a blue-ish ink (the update mark 0xD4A76C, the link colour
// 0xC98C2F) inside the rectangle; the list's frame (0xF1D5C6) and the
// selection (0xF7EEE1) are greyer.
int BlueInk(const RgbImage& image, int x0, int y0, int x1, int y1) {
  int n = 0;
  for (int y = y0; y < y1 && y < image.height; ++y)
    for (int x = x0; x < x1 && x < image.width; ++x) {
      const sRgb p = At(image, x, y);
      if (p.b > p.r + 60) ++n;
    }
  return n;
}

bool IsColour(const RgbImage& image, int x, int y, uint32_t gdi) {
  const sRgb p = At(image, x, y);
  return p.r == (gdi & 255) && p.g == ((gdi >> 8) & 255) && p.b == ((gdi >> 16) & 255);
}

// Where the window's parts are (see the layout in tools/manager_window.cpp).
constexpr int kUpdateLeftEdgeX = 45 + (680 - 246 + 1), kButtonsY = 255;
constexpr int kUninstallX = 45 + (680 - 116 + 1) + 57, kUninstallY = 255 + 15;
constexpr int kListRightEdgeX = 45 + 680 - 1;

struct sLook {
  bool listed = false;        // the list panel's frame shows
  bool updateButton = false;  // the Update button's left edge shows
  int markInk = 0;            // ink in the list's fourth column
  int removeInk = 0;          // ink where the removal link goes
};

sLook Look(const RgbImage& image) {
  sLook look;
  if (image.width < 770 || image.height < 480) return look;
  look.listed = IsColour(image, kListRightEdgeX, 120, 0xE4E0DC);
  look.updateButton = IsColour(image, kUpdateLeftEdgeX, kButtonsY + 15, 0xE4E0DC);
  look.markInk = BlueInk(image, 580, 95, 715, 240);
  look.removeInk = BlueInk(image, 45, 438, 320, 472);
  return look;
}

// ---- The endpoint, the program ----

struct sFolder {
  std::string unix;
  std::string win() const { return "Z:" + unix; }
};

class UpdateServer {
public:
  explicit UpdateServer(const sFolder& folder) : folder_(folder) {
    const char* source = std::getenv("TW_SOURCE_DIR");
    if (source == nullptr) throw std::runtime_error("TW_SOURCE_DIR is not set");
    _guardchar<char16_t> line;
    const std::string command =
        std::string("/usr/bin/python3 ") + source + "/tests/tools/update_server.py " + folder_.unix + " 80 900";
    Utf8ToWide(-1, command.c_str(), line);
    if (!RunCommandLine(line.text)) throw std::runtime_error("cannot start " + command);
    if (!WaitFor([&] { return Exists(folder_.win() + "/ready"); }))
      throw std::runtime_error("the update server did not start (is port 80 free in the namespace?)");
  }
  ~UpdateServer() {
    std::error_code ec;
    fs::remove(fs::u8path(folder_.win() + "/ready"), ec);
  }
  void Answer(const std::string& codename, const std::string& body) {
    WriteAll(folder_.win() + "/answers/" + codename + ".bin", body);
  }
  std::string Log() const { return ReadAll(folder_.win() + "/requests.log"); }

private:
  sFolder folder_;
};

class Program {
public:
  Program() {
    const std::u16string line = U16("\"" + twtest::BinaryPath("tarnwick.exe") + "\"");
    std::vector<wchar_t> text(line.begin(), line.end());
    text.push_back(0);
    STARTUPINFOW si = {};
    si.cb = sizeof(si);
    started_ = CreateProcessW(nullptr, text.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi_) != 0;
  }
  ~Program() {
    if (!started_) return;
    if (!Ended()) TerminateProcess(pi_.hProcess, 99);
    WaitForSingleObject(pi_.hProcess, 10000);
    CloseHandle(pi_.hThread);
    CloseHandle(pi_.hProcess);
  }
  bool Started() const { return started_; }
  bool Ended() const { return WaitForSingleObject(pi_.hProcess, 0) == WAIT_OBJECT_0; }
  std::vector<HWND> Windows() const { return twtest::ProcessWindows(pi_.dwProcessId); }
  HWND Window(const std::wstring& title) const {
    HWND out = nullptr;
    WaitFor([&] {
      for (HWND w : Windows())
        if (twtest::WindowTitle(w) == title) out = w;
      return out != nullptr || Ended();
    });
    return out;
  }
  // The exit code, or -1 when the program did not end in time.
  int64_t Wait() const {
    if (!WaitFor([&] { return Ended(); })) return -1;
    DWORD code = 0;
    GetExitCodeProcess(pi_.hProcess, &code);
    return code;
  }

private:
  bool started_ = false;
  PROCESS_INFORMATION pi_ = {};
};

// Answers the boxes of the program's uninstaller or remover with Enter
// (yes, OK) until only the manager's window is left (or the program ended).
// The titles of the boxes, in the order they came.
std::vector<std::wstring> AnswerBoxes(const Program& program, HWND manager) {
  std::vector<std::wstring> boxes;
  std::map<HWND, std::chrono::steady_clock::time_point> answered;
  bool sawOther = false;
  EXPECT_TRUE(WaitFor([&] {
    if (program.Ended()) return true;
    bool others = false;
    for (HWND w : program.Windows()) {
      if (w == manager) continue;
      others = sawOther = true;
      const std::wstring title = twtest::WindowTitle(w);
      if (title != L"Confirm" && title != L"Information" && title != L"Error") continue;
      const auto now = std::chrono::steady_clock::now();
      const auto seen = answered.find(w);
      if (seen == answered.end())
        boxes.push_back(title);
      else if (now - seen->second < std::chrono::seconds(1))
        continue;
      answered[w] = now;
      twtest::PostKey(w, VK_RETURN);
    }
    return sawOther && !others && IsWindowEnabled(manager);
  })) << "the boxes did not end";
  return boxes;
}

class ManagerWindowE2E : public ::testing::Test {
protected:
  void SetUp() override {
    const char* binary = std::getenv("TW_BINARY_DIR");
    ASSERT_NE(binary, nullptr) << "TW_BINARY_DIR is not set";
    const auto now = std::chrono::steady_clock::now().time_since_epoch().count();
    folder_.unix = std::string(binary) + "/manager-e2e-" + std::to_string(now);
    root_ = folder_.win();
    for (const char* sub : {"/appdata", "/programdata", "/temp", "/programs", "/allusers/Microsoft/Windows/Start Menu/Programs"})
      fs::create_directories(fs::u8path(root_ + sub));
    env_.push_back(std::make_unique<ScopedEnv>("APPDATA", (root_ + "/appdata").c_str()));
    env_.push_back(std::make_unique<ScopedEnv>("ProgramData", (root_ + "/programdata").c_str()));
    env_.push_back(std::make_unique<ScopedEnv>("TEMP", (root_ + "/temp").c_str()));
    env_.push_back(std::make_unique<ScopedEnv>("TMP", (root_ + "/temp").c_str()));
    env_.push_back(std::make_unique<ScopedEnv>("ProgramW6432", (root_ + "/programs").c_str()));
    env_.push_back(std::make_unique<ScopedEnv>("ALLUSERSPROFILE", (root_ + "/allusers").c_str()));
    // The installed manager, which the removal link takes away.
    manager_ = root_ + "/programs/Common Files/Vornak/tarnwick.exe";
    fs::create_directories(fs::u8path(manager_).parent_path());
    fs::copy_file(fs::u8path(twtest::BinaryPath("tarnwick.exe")), fs::u8path(manager_));
    server_ = std::make_unique<UpdateServer>(folder_);
  }
  void TearDown() override {
    server_.reset();
    env_.clear();
    std::error_code ec;
    fs::remove_all(fs::u8path(root_), ec);
  }

  // A package as the installer records it in the machine-wide store: its
  // program (a copy of tarnwick.exe, whose icons the window shows) and the
  // record.
  void Record(const std::string& codename, const char16_t* name) {
    const std::string folder = root_ + "/programs/" + codename;
    const std::string program = folder + "/app.exe";
    fs::create_directories(fs::u8path(folder));
    fs::copy_file(fs::u8path(twtest::BinaryPath("tarnwick.exe")), fs::u8path(program));
    WriteAll(folder + "/readme.txt", "read me");
    const std::u16string files[] = {U16(program), U16(folder + "/readme.txt")};
    const char16_t* filePtrs[] = {files[0].c_str(), files[1].c_str()};
    const std::u16string programPath = U16(program);
    sRunEntryRecord run;
    run.caption = u"Start it";
    run.program = programPath.c_str();
    sInstallRecordData r;
    r.version = uint64_t{1} << 48;  // 1.0
    r.name = name;
    r.supportUrl = u"http://updates.tarnwick.test/support";
    r.iconPath = programPath.c_str();
    r.files = filePtrs;
    r.fileCount = 2;
    r.runEntries = &run;
    r.runEntryCount = 1;
    cCIAppFullConfig store;
    ASSERT_TRUE(store.Create(u"qxv") || true);
    ASSERT_TRUE(store.Open(u"qxv"));
    WriteInstallRegistration(store.GetMachineConfig(), r, ("install/" + codename).c_str());
    store.GetMachineConfig()->SetString(tw::kKeyInstallerApp, U16(manager_).c_str(), -1);
    ASSERT_TRUE(store.GetMachineConfig()->Save());
  }

  bool Recorded(const std::string& codename) {
    cCIAppFullConfig store;
    return store.Open(u"qxv") && store.Exists(("install/" + codename + "/ver").c_str());
  }

  // Waits until the window's pixels pass check; the last look.
  sLook WaitLook(HWND window, const std::function<bool(const sLook&)>& check, RgbImage* last) {
    sLook look;
    const bool seen = WaitFor([&] {
      RgbImage image;
      if (!twtest::CaptureClientFromScreen(window, &image)) return false;
      look = Look(image);
      *last = std::move(image);
      return check(look);
    });
    EXPECT_TRUE(seen) << "listed " << look.listed << ", update button " << look.updateButton << ", mark ink "
                      << look.markInk << ", removal ink " << look.removeInk;
    return look;
  }

  void Shot(const RgbImage& image, const std::string& name) {
    EXPECT_TRUE(twtest::WriteFile(twtest::BinaryPath(name), twtest::EncodePng(image))) << name;
  }

  sFolder folder_;
  std::string root_, manager_;
  std::vector<std::unique_ptr<ScopedEnv>> env_;
  std::unique_ptr<UpdateServer> server_;
};

std::string Answer(const std::string& version) {
  return version + "\r\nhttp://updates.tarnwick.test/files/setup.exe\r\nhttp://updates.tarnwick.test/\r\nNew things.\r\n";
}

TEST_F(ManagerWindowE2E, ListsChecksUninstallsAndEndsEmpty) {
  Record("tarn-new", u"Tarn New");
  Record("tarn-same", u"Tarn Same");
  server_->Answer("tarn-new", Answer("2.0"));
  server_->Answer("tarn-same", Answer("1.0"));

  Program program;
  ASSERT_TRUE(program.Started());
  HWND dialog = program.Window(kTitle);
  ASSERT_NE(dialog, nullptr) << "the manager's window did not show";
  HWND host = twtest::HostOf(dialog);

  // Listed: the first package (the newer one is offered) with its Update
  // button and the mark in its row.
  RgbImage image;
  sLook look = WaitLook(
      host, [](const sLook& l) { return l.listed && l.updateButton && l.markInk > 10; }, &image);
  Shot(image, "tools_manager_listed.png");
  // One request per package, each asked once.
  const std::string log = server_->Log();
  EXPECT_EQ(Occurrences(log, "GET /autocheck.php?"), 2u) << log;
  EXPECT_EQ(Occurrences(log, "GET /autocheck.php?softwareid=tarn-new&os=win HTTP/1.1"), 1u) << log;
  EXPECT_EQ(Occurrences(log, "GET /autocheck.php?softwareid=tarn-same&os=win HTTP/1.1"), 1u) << log;

  // Uninstall: the uninstaller's window road (its question, its result),
  // then the list again, now without an update.
  twtest::PostClick(host, kUninstallX, kUninstallY);
  std::vector<std::wstring> boxes = AnswerBoxes(program, dialog);
  EXPECT_EQ(boxes, (std::vector<std::wstring>{L"Confirm", L"Information"}));
  EXPECT_FALSE(Recorded("tarn-new"));
  EXPECT_TRUE(Recorded("tarn-same"));
  EXPECT_FALSE(Exists(root_ + "/programs/tarn-new/app.exe"));
  look = WaitLook(
      host, [](const sLook& l) { return l.listed && !l.updateButton && l.markInk == 0; }, &image);
  Shot(image, "tools_manager_one_left.png");
  // The rebuilt list asked once more, for the package that is left.
  EXPECT_EQ(Occurrences(server_->Log(), "GET /autocheck.php?softwareid=tarn-same&os=win"), 2u);

  // The last one: the empty state with the removal link.
  twtest::PostClick(host, kUninstallX, kUninstallY);
  boxes = AnswerBoxes(program, dialog);
  EXPECT_EQ(boxes, (std::vector<std::wstring>{L"Confirm", L"Information"}));
  EXPECT_FALSE(Recorded("tarn-same"));
  look = WaitLook(
      host, [](const sLook& l) { return !l.listed && !l.updateButton && l.removeInk > 10; }, &image);
  Shot(image, "tools_manager_empty.png");

  // Closing the window ends the program with 0; nothing else was asked.
  PostMessageW(dialog, WM_CLOSE, 0, 0);
  EXPECT_EQ(program.Wait(), 0);
  EXPECT_EQ(Occurrences(server_->Log(), "GET /autocheck.php?"), 3u);
  EXPECT_TRUE(Exists(manager_)) << "closing removes nothing";
}

TEST_F(ManagerWindowE2E, RemovalLinkTakesTheManagerAway) {
  Program program;
  ASSERT_TRUE(program.Started());
  HWND dialog = program.Window(kTitle);
  ASSERT_NE(dialog, nullptr) << "the manager's window did not show";
  HWND host = twtest::HostOf(dialog);
  RgbImage image;
  WaitLook(host, [](const sLook& l) { return !l.listed && l.removeInk > 10; }, &image);
  EXPECT_EQ(server_->Log(), "<missing>") << "nothing to check, nothing asked";

  // The link's middle: its left end, half-way down the Refresh row.
  twtest::PostClick(host, 52, 480 - 40 + 16);
  const std::vector<std::wstring> boxes = AnswerBoxes(program, dialog);
  EXPECT_EQ(boxes, (std::vector<std::wstring>{L"Confirm", L"Information"}));
  EXPECT_EQ(program.Wait(), 0) << "the window ends once the manager is removed";
  EXPECT_FALSE(Exists(manager_));
}

TEST_F(ManagerWindowE2E, LanguageSwitchReopensTheWindowInTheNewLanguage) {
  Record("tarn-same", u"Tarn Same");
  server_->Answer("tarn-same", Answer("1.0"));
  Program program;
  ASSERT_TRUE(program.Started());
  HWND dialog = program.Window(kTitle);
  ASSERT_NE(dialog, nullptr) << "the manager's window did not show";
  HWND host = twtest::HostOf(dialog);
  RgbImage image;
  WaitLook(host, [](const sLook& l) { return l.listed; }, &image);

  // The language button (top right), then its popup: the second language
  // of its list, Ukrainian, chosen with Tab and Enter.
  twtest::PostClick(host, 770 - 71 + 12, 25 + 12);
  HWND popup = nullptr;
  ASSERT_TRUE(WaitFor([&] {
    for (HWND w : program.Windows())
      if (w != dialog) popup = w;
    return popup != nullptr;
  })) << "no language popup";
  twtest::PostKey(popup, VK_TAB);
  twtest::PostKey(popup, VK_RETURN);

  // The window ends with 10 and comes back titled in the new language, and
  // the choice is stored for the next start.
  const std::wstring ukrainian = L"\u041c\u0435\u043d\u0435\u0434\u0436\u0435\u0440 "
                                 L"\u043f\u0440\u043e\u0433\u0440\u0430\u043c Vornak";
  HWND again = program.Window(ukrainian);
  ASSERT_NE(again, nullptr) << "the window did not come back in Ukrainian";
  EXPECT_FALSE(IsWindow(dialog)) << "the first window stays";
  {
    cCIAppFullConfig store;
    uint64_t language = 0;
    ASSERT_TRUE(store.Open(u"qxv"));
    EXPECT_TRUE(store.GetInt64(tw::kKeyLangCurrent, language));
    EXPECT_EQ(language, 6u);
  }
  WaitLook(twtest::HostOf(again), [](const sLook& l) { return l.listed; }, &image);
  Shot(image, "tools_manager_ukrainian.png");
  // The new window asked the endpoint again.
  EXPECT_EQ(Occurrences(server_->Log(), "GET /autocheck.php?softwareid=tarn-same&os=win"), 2u);
  PostMessageW(again, WM_CLOSE, 0, 0);
  EXPECT_EQ(program.Wait(), 0);
}

}  // namespace
