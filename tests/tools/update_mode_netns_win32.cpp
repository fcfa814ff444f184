// tarnwick.exe's verb "update" end to end, run by tests/tools/update_netns.sh
// inside a network namespace of its own where the endpoint's host name
// means 127.0.0.1 and tests/tools/update_server.py answers on port 80: the
// unchanged program asks the real endpoint name. The test writes the
// installation record, starts the program, watches its windows (closing
// them with keys sent to them), saves a picture of the offer form, and
// checks what was downloaded, kept and started.
#include <gtest/gtest.h>

#include <windows.h>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
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
#include "tests/support/test_support.h"
#include "tests/support/trust_anchor.h"

namespace fs = std::filesystem;
using twtest::ScopedEnv;
using twtest::U16;

namespace {

constexpr auto kWait = std::chrono::seconds(120);
constexpr char kCodename[] = "tarn-app";

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

// Starts a command line of the Unix side (Wine runs Unix programs given by
// their Unix path).
void RunUnix(const std::string& command) {
  _guardchar<char16_t> wide;
  Utf8ToWide(-1, command.c_str(), wide);
  if (!RunCommandLine(wide.text)) throw std::runtime_error("cannot start " + command);
}

// The test's folder below the build folder: the Unix path for the servers,
// the same reached through drive Z: for this side.
struct sFolder {
  std::string unix;
  std::string win() const { return "Z:" + unix; }
};

sFolder MakeFolder(const std::string& name) {
  const char* binary = std::getenv("TW_BINARY_DIR");
  if (binary == nullptr) throw std::runtime_error("TW_BINARY_DIR is not set");
  const auto now = std::chrono::steady_clock::now().time_since_epoch().count();
  sFolder f{std::string(binary) + "/" + name + "-" + std::to_string(now)};
  fs::create_directories(fs::u8path(f.win()));
  return f;
}

// The endpoint and download server on port 80.
class UpdateServer {
public:
  explicit UpdateServer(const sFolder& folder) : folder_(folder) {
    const char* source = std::getenv("TW_SOURCE_DIR");
    if (source == nullptr) throw std::runtime_error("TW_SOURCE_DIR is not set");
    RunUnix(std::string("/usr/bin/python3 ") + source + "/tests/tools/update_server.py " + folder_.unix + " 80 900");
    if (!WaitFor([&] { return Exists(folder_.win() + "/ready"); }))
      throw std::runtime_error("the update server did not start (is port 80 free in the namespace?)");
  }
  ~UpdateServer() { Stop(); }
  void Stop() {
    std::error_code ec;
    fs::remove(fs::u8path(folder_.win() + "/ready"), ec);
  }
  void SetAnswer(const std::string& body) { WriteAll(folder_.win() + "/answer.bin", body); }
  void RemoveAnswer() {
    std::error_code ec;
    fs::remove(fs::u8path(folder_.win() + "/answer.bin"), ec);
  }
  void Serve(const std::string& name, const std::string& bytes) { WriteAll(folder_.win() + "/files/" + name, bytes); }
  std::string Log() const { return ReadAll(folder_.win() + "/requests.log"); }
  void ClearLog() {
    std::error_code ec;
    fs::remove(fs::u8path(folder_.win() + "/requests.log"), ec);
  }

private:
  sFolder folder_;
};

// openssl s_server (tests/net/tls_server.py) sending whole-answer files,
// its test CA trusted in this prefix.
class TlsFileServer {
public:
  TlsFileServer(const sFolder& folder, const std::string& unixFile) {
    const char* source = std::getenv("TW_SOURCE_DIR");
    portFile_ = folder.unix + "/tls.port";
    RunUnix(std::string("/usr/bin/python3 ") + source + "/tests/net/tls_server.py " + portFile_ +
            " 8 600 --www-file " + unixFile + " -HTTP");
    const bool up = WaitFor(
        [&] {
          std::ifstream f("Z:" + portFile_);
          return static_cast<bool>(f >> port_);
        },
        std::chrono::seconds(180));
    if (!up) throw std::runtime_error("the TLS test server did not start");
    const std::string der = ReadAll("Z:" + portFile_ + ".ca");
    if (der == "<missing>" || !twtest::TrustTestAnchor(reinterpret_cast<const uint8_t*>(der.data()), der.size()))
      throw std::runtime_error("cannot trust the test CA");
  }
  ~TlsFileServer() {
    std::error_code ec;
    fs::remove(fs::u8path("Z:" + portFile_), ec);
  }
  int Port() const { return port_; }

private:
  std::string portFile_;
  int port_ = 0;
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

std::wstring Title(HWND hwnd) {
  wchar_t title[256] = {};
  GetWindowTextW(hwnd, title, 256);
  return title;
}

// Sent straight to the window that hosts the form (the dialog frame's only
// child): the dialog loop would take a posted Enter or Escape for itself.
// A key that starts a modal loop keeps the call waiting: its time-out is
// short and its answer unused.
void SendKey(HWND dialog, WPARAM key) {
  HWND host = GetWindow(dialog, GW_CHILD);
  DWORD_PTR ignored = 0;
  SendMessageTimeoutW(host != nullptr ? host : dialog, WM_KEYDOWN, key, 0, SMTO_ABORTIFHUNG, 2000, &ignored);
}

// One run of tarnwick.exe.
class Program {
public:
  explicit Program(const std::string& arguments) {
    const std::u16string line = U16("\"" + twtest::BinaryPath("tarnwick.exe") + "\" " + arguments);
    std::vector<wchar_t> text(line.begin(), line.end());
    text.push_back(0);
    STARTUPINFOW si = {};
    si.cb = sizeof(si);
    started_ = CreateProcessW(nullptr, text.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi_) != 0;
  }
  ~Program() {
    if (!started_) return;
    if (WaitForSingleObject(pi_.hProcess, 0) != WAIT_OBJECT_0) TerminateProcess(pi_.hProcess, 99);
    WaitForSingleObject(pi_.hProcess, 10000);
    CloseHandle(pi_.hThread);
    CloseHandle(pi_.hProcess);
  }
  bool Started() const { return started_; }
  std::vector<HWND> Windows() const {
    sFindWindows find{pi_.dwProcessId, {}};
    EnumWindows(CollectWindow, reinterpret_cast<LPARAM>(&find));
    return find.found;
  }
  // The visible window titled title, waiting for it.
  HWND Window(const std::wstring& title) const {
    HWND out = nullptr;
    WaitFor([&] {
      if (Ended()) return true;
      for (HWND w : Windows())
        if (Title(w) == title) out = w;
      return out != nullptr;
    });
    return out;
  }
  bool Ended() const { return WaitForSingleObject(pi_.hProcess, 0) == WAIT_OBJECT_0; }
  // Waits for the end; the exit code, or -1 when it did not end in time.
  // sawWindow tells whether any window showed meanwhile.
  int64_t Wait(bool* sawWindow = nullptr) const {
    const bool ended = WaitFor([&] {
      if (sawWindow != nullptr && !Windows().empty()) *sawWindow = true;
      return Ended();
    });
    if (!ended) return -1;
    DWORD code = 0;
    GetExitCodeProcess(pi_.hProcess, &code);
    return code;
  }

private:
  bool started_ = false;
  PROCESS_INFORMATION pi_ = {};
};

// The client area of the form's host window as a PNG in the build folder,
// read back from the screen: the window belongs to another process, whose
// drawing only the display holds.
bool SaveShot(HWND dialog, const std::string& name, int* inkPixels) {
  *inkPixels = 0;
  HWND host = GetWindow(dialog, GW_CHILD);
  if (host == nullptr) host = dialog;
  SetForegroundWindow(dialog);
  RedrawWindow(dialog, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
  RECT client{};
  GetClientRect(host, &client);
  POINT origin{0, 0};
  ClientToScreen(host, &origin);
  const int w = client.right, h = client.bottom;
  if (w <= 0 || h <= 0) return false;
  HDC source = GetDC(nullptr);
  HDC memory = CreateCompatibleDC(source);
  BITMAPINFO info = {};
  info.bmiHeader.biSize = sizeof(info.bmiHeader);
  info.bmiHeader.biWidth = w;
  info.bmiHeader.biHeight = -h;  // top row first
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  void* bits = nullptr;
  HBITMAP bitmap = CreateDIBSection(memory, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  HGDIOBJ old = SelectObject(memory, bitmap);
  const bool copied = BitBlt(memory, 0, 0, w, h, source, origin.x, origin.y, SRCCOPY) != 0;
  twtest::RgbImage image;
  image.width = w;
  image.height = h;
  if (copied) {
    const auto* px = static_cast<const uint32_t*>(bits);
    for (int i = 0; i < w * h; ++i) {
      const uint32_t p = px[i];
      image.rgb.push_back(static_cast<uint8_t>(p >> 16));
      image.rgb.push_back(static_cast<uint8_t>(p >> 8));
      image.rgb.push_back(static_cast<uint8_t>(p));
      if ((p & 0xFFFFFF) != 0xFFFFFF) ++*inkPixels;
    }
  }
  SelectObject(memory, old);
  DeleteObject(bitmap);
  DeleteDC(memory);
  ReleaseDC(nullptr, source);
  return copied && twtest::WriteFile(twtest::BinaryPath(name), twtest::EncodePng(image));
}

std::string Answer(const std::string& version, const std::string& download) {
  return version + "\r\n" + download + "\r\nhttp://" + "updates.tarnwick.test/\r\n" +
         "Faster downloads.\r\nA new icon.\r\n";
}

class UpdateMode : public ::testing::Test {
protected:
  static void SetUpTestSuite() {
    folder_ = new sFolder(MakeFolder("update-e2e"));
    server_ = new UpdateServer(*folder_);
    marker_ = ReadAll(twtest::BinaryPath("tw_update_marker.exe"));
  }
  static void TearDownTestSuite() {
    delete server_;
    server_ = nullptr;
    std::error_code ec;
    fs::remove_all(fs::u8path(folder_->win()), ec);
    delete folder_;
  }

  void SetUp() override {
    ASSERT_NE(marker_, "<missing>") << "tw_update_marker.exe is built with this test";
    root_ = folder_->win() + "/case" + std::to_string(serial_++);
    downloads_ = root_ + "/downloads";
    for (const char* sub : {"/appdata", "/programdata", "/temp", "/downloads"})
      fs::create_directories(fs::u8path(root_ + sub));
    env_.push_back(std::make_unique<ScopedEnv>("APPDATA", (root_ + "/appdata").c_str()));
    env_.push_back(std::make_unique<ScopedEnv>("ProgramData", (root_ + "/programdata").c_str()));
    env_.push_back(std::make_unique<ScopedEnv>("TEMP", (root_ + "/temp").c_str()));
    env_.push_back(std::make_unique<ScopedEnv>("TMP", (root_ + "/temp").c_str()));
    // The installed product: version 1.0, and the remembered download folder.
    cCIAppFullConfig store;
    ASSERT_TRUE(store.Open(u"qxv") || (store.Create(u"qxv") && store.Open(u"qxv")));
    ASSERT_TRUE(store.SetInt64((std::string("install/") + kCodename + "/ver").c_str(), int64_t{1} << 48));
    ASSERT_TRUE(store.SetString((std::string("install/") + kCodename + "/name").c_str(), u"Tarn App", -1));
    ASSERT_TRUE(store.SetString("installer/temp", U16(downloads_).c_str(), -1));
    ASSERT_TRUE(store.Save());
    server_->ClearLog();
  }
  void TearDown() override { env_.clear(); }

  // Runs the program until the offer shows; the form's window.
  HWND OpenOffer(Program& program, const std::string& shot = "") {
    EXPECT_TRUE(program.Started());
    HWND offer = program.Window(L"Software Package Update");
    EXPECT_NE(offer, nullptr) << "the offer form did not show";
    if (offer != nullptr && !shot.empty()) {
      // The form paints once it has run a little.
      int ink = 0;
      EXPECT_TRUE(WaitFor([&] { return SaveShot(offer, shot, &ink) && ink > 2000; }, std::chrono::seconds(30)))
          << "the offer form shows nothing: " << shot << " holds " << ink << " coloured pixels";
    }
    return offer;
  }

  // Install on the offer, then the save dialog's proposal (the remembered
  // folder and the address's file name) taken with Enter once the dialog
  // has listed its folder (Enter waits while it lists).
  static void Install(Program& program, HWND offer) {
    SendKey(offer, VK_RETURN);
    HWND save = program.Window(L"Save update file as...");
    ASSERT_NE(save, nullptr) << "the save dialog did not show";
    EXPECT_TRUE(WaitFor([&] {
      if (!IsWindow(save) || !IsWindowVisible(save)) return true;
      SendKey(save, VK_RETURN);
      std::this_thread::sleep_for(std::chrono::milliseconds(300));
      return !IsWindow(save) || !IsWindowVisible(save);
    })) << "Enter did not end the save dialog";
  }

  // Answers every box titled "Confirm" with Escape until the only window
  // left is the offer (or the program ended).
  static void DeclineQuestions(Program& program, HWND offer) {
    EXPECT_TRUE(WaitFor([&] {
      if (program.Ended()) return true;
      bool others = false;
      for (HWND w : program.Windows()) {
        if (w == offer) continue;
        others = true;
        if (Title(w) == L"Confirm") SendKey(w, VK_ESCAPE);
      }
      return !others && IsWindowEnabled(offer);
    }));
  }

  void ExpectNothingKept(const std::string& name) {
    EXPECT_FALSE(Exists(downloads_ + "/" + name)) << "a broken download was kept under its name";
    EXPECT_FALSE(Exists(downloads_ + "/" + name + ".tmp")) << "a broken download was left as a side file";
    EXPECT_FALSE(Exists(downloads_ + "/" + name + ".started")) << "a broken download was started";
  }

  static sFolder* folder_;
  static UpdateServer* server_;
  static std::string marker_;
  static int serial_;
  std::string root_;
  std::string downloads_;
  std::vector<std::unique_ptr<ScopedEnv>> env_;
};

sFolder* UpdateMode::folder_ = nullptr;
UpdateServer* UpdateMode::server_ = nullptr;
std::string UpdateMode::marker_;
int UpdateMode::serial_ = 0;

TEST_F(UpdateMode, QuietCheckOfAnUpToDatePackageEndsWithoutAWindow) {
  server_->SetAnswer(Answer("1.0", "http://updates.tarnwick.test/files/same.exe"));
  Program program(std::string("update ") + kCodename + " quite");
  bool sawWindow = false;
  EXPECT_EQ(program.Wait(&sawWindow), 0);
  EXPECT_FALSE(sawWindow);
  EXPECT_EQ(server_->Log(),
            "GET /autocheck.php?softwareid=tarn-app&os=win HTTP/1.1\r\n"
            "Host: updates.tarnwick.test\r\n"
            "User-Agent: QXVNetHTTP (compatible; cross-platform)\r\n"
            "\r\n");
}

TEST_F(UpdateMode, QuietFailuresEndWithOne) {
  server_->RemoveAnswer();  // 404
  {
    Program program(std::string("update ") + kCodename + " quite");
    bool sawWindow = false;
    EXPECT_EQ(program.Wait(&sawWindow), 1) << "404";
    EXPECT_FALSE(sawWindow);
  }
  server_->ClearLog();
  {
    // A codename with '/' is refused before any network access; so is one
    // without an installation record.
    Program slash("update tarn/app quite");
    EXPECT_EQ(slash.Wait(), 1);
    Program unknown("update other-app quite");
    EXPECT_EQ(unknown.Wait(), 1);
    EXPECT_EQ(server_->Log(), "<missing>");
  }
}

TEST_F(UpdateMode, OfferEndsWithEscape) {
  server_->SetAnswer(Answer("1.2.0.5", "http://updates.tarnwick.test/files/escape.exe"));
  server_->Serve("escape.exe", marker_);
  Program program(std::string("update ") + kCodename + " quite");
  HWND offer = OpenOffer(program, "tools_update_offer.png");
  ASSERT_NE(offer, nullptr);
  SendKey(offer, VK_ESCAPE);
  EXPECT_EQ(program.Wait(), 0);
  EXPECT_FALSE(Exists(downloads_ + "/escape.exe"));
}

TEST_F(UpdateMode, InstallDownloadsTheFileWholeAndStartsIt) {
  server_->SetAnswer(Answer("2.0", "http://updates.tarnwick.test/files/plain.exe"));
  server_->Serve("plain.exe", marker_);
  Program program(std::string("update ") + kCodename + " quite");
  HWND offer = OpenOffer(program);
  ASSERT_NE(offer, nullptr);
  Install(program, offer);
  EXPECT_EQ(program.Wait(), 0) << "the offer ends once the file was opened";
  EXPECT_TRUE(ReadAll(downloads_ + "/plain.exe") == marker_) << "the download differs from the served file";
  EXPECT_FALSE(Exists(downloads_ + "/plain.exe.tmp"));
  EXPECT_TRUE(WaitFor([&] { return Exists(downloads_ + "/plain.exe.started"); })) << "the file was not started";
}

TEST_F(UpdateMode, RedirectToHttpsIsFollowedOnce) {
  // The TLS server sends the file as a whole answer with its length.
  const std::string answerFile = folder_->unix + "/tls.exe";
  WriteAll("Z:" + answerFile, "HTTP/1.0 200 OK\r\nContent-Length: " + std::to_string(marker_.size()) +
                                  "\r\nContent-Type: application/octet-stream\r\n\r\n" + marker_);
  TlsFileServer tls(*folder_, answerFile);
  const std::string target = "https://localhost:" + std::to_string(tls.Port()) + "/tls.exe";
  server_->SetAnswer(Answer("1.1", "http://updates.tarnwick.test/redirect/1?to=" + target));
  Program program(std::string("update ") + kCodename + " quite");
  HWND offer = OpenOffer(program);
  ASSERT_NE(offer, nullptr);
  Install(program, offer);
  EXPECT_EQ(program.Wait(), 0);
  EXPECT_TRUE(ReadAll(downloads_ + "/tls.exe") == marker_) << "the download over TLS differs from the served file";
  EXPECT_TRUE(WaitFor([&] { return Exists(downloads_ + "/tls.exe.started"); })) << "the file was not started";
}

TEST_F(UpdateMode, SecondRedirectFailsCleanly) {
  server_->Serve("twice.exe", marker_);
  const std::string last = "http://updates.tarnwick.test/files/twice.exe";
  const std::string second = "http://updates.tarnwick.test/redirect/2?to=" + last;
  server_->SetAnswer(Answer("1.1", "http://updates.tarnwick.test/redirect/1?to=" + second));
  Program program(std::string("update ") + kCodename + " quite");
  HWND offer = OpenOffer(program);
  ASSERT_NE(offer, nullptr);
  Install(program, offer);
  // Both redirects were asked for, the file never.
  EXPECT_TRUE(WaitFor([&] { return server_->Log().find("GET /redirect/2") != std::string::npos; }));
  DeclineQuestions(program, offer);
  EXPECT_EQ(server_->Log().find("GET /files/"), std::string::npos);
  SendKey(offer, VK_ESCAPE);
  EXPECT_EQ(program.Wait(), 0);
  ExpectNothingKept("twice.exe");
}

TEST_F(UpdateMode, BodyCutShortIsNeitherKeptNorStarted) {
  server_->Serve("cut.exe", marker_);
  server_->SetAnswer(Answer("3.0", "http://updates.tarnwick.test/cut/cut.exe"));
  Program program(std::string("update ") + kCodename + " quite");
  HWND offer = OpenOffer(program);
  ASSERT_NE(offer, nullptr);
  Install(program, offer);
  // The retry question comes; No leaves the offer open.
  EXPECT_NE(program.Window(L"Confirm"), nullptr) << "no retry question";
  DeclineQuestions(program, offer);
  ExpectNothingKept("cut.exe");
  SendKey(offer, VK_ESCAPE);
  EXPECT_EQ(program.Wait(), 0);
  ExpectNothingKept("cut.exe");
}

TEST_F(UpdateMode, RetryAfterACutKeepsOnlyTheSecondAttempt) {
  server_->Serve("retry.exe", marker_);
  server_->SetAnswer(Answer("3.0", "http://updates.tarnwick.test/flaky/retry.exe"));
  Program program(std::string("update ") + kCodename + " quite");
  HWND offer = OpenOffer(program);
  ASSERT_NE(offer, nullptr);
  Install(program, offer);
  // Yes to the retry question: the second attempt arrives whole.
  HWND question = program.Window(L"Confirm");
  ASSERT_NE(question, nullptr) << "no retry question";
  SendKey(question, VK_RETURN);
  EXPECT_EQ(program.Wait(), 0);
  EXPECT_TRUE(ReadAll(downloads_ + "/retry.exe") == marker_) << "the file holds more than the second attempt";
  EXPECT_TRUE(WaitFor([&] { return Exists(downloads_ + "/retry.exe.started"); })) << "the file was not started";
}

TEST_F(UpdateMode, WithoutQuietTheResultsAreShown) {
  const struct {
    const char* what;
    std::string arguments;
    bool answer;  // the endpoint answers with the installed version
    const wchar_t* box;
    int64_t exitCode;
  } cases[] = {
      {"a codename with '/'", "update tarn/app", false, L"Error", 1},
      {"the check fails", std::string("update ") + kCodename, false, L"Error", 1},
      {"up to date", std::string("update ") + kCodename, true, L"Information", 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    if (c.answer)
      server_->SetAnswer(Answer("1.0", "http://updates.tarnwick.test/files/same.exe"));
    else
      server_->RemoveAnswer();
    Program program(c.arguments);
    // The box belongs to the small "Software manager" form.
    EXPECT_NE(program.Window(L"Software manager"), nullptr);
    HWND box = program.Window(c.box);
    ASSERT_NE(box, nullptr) << "no message box";
    SendKey(box, VK_RETURN);
    EXPECT_EQ(program.Wait(), c.exitCode);
  }
}

// Last: it stops the server.
TEST_F(UpdateMode, ServerDownEndsWithOne) {
  server_->Stop();
  EXPECT_TRUE(WaitFor([&] {
    // Once the listener is closed the check fails fast.
    Program probe(std::string("update ") + kCodename + " quite");
    return probe.Wait() == 1;
  }));
}

}  // namespace
