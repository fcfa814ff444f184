// The download of a new setup file (cUpdateDownload) against the loopback
// test server (tests/net/http_server.py): which answers count as complete,
// the one redirect it follows, answers without a usable length, cuts, a
// refusing output stream, a stop asked by the progress sink, and the
// progress values it reports.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "base/memio.h"
#include "base/strings.h"
#include "net/tcp_socket.h"
#include "tests/net/http_server.h"
#include "tests/support/test_support.h"
#include "tools/update_download.h"

namespace {

twtest::HttpTestServer& Server() {
  static twtest::HttpTestServer server;
  return server;
}

std::string Hex(const std::string& bytes) {
  static const char* digits = "0123456789abcdef";
  std::string out;
  for (unsigned char c : bytes) {
    out += digits[c >> 4];
    out += digits[c & 15];
  }
  return out;
}

std::string SendUrl(const std::string& wire) { return Server().Url("/send?hex=" + Hex(wire)); }
std::string Redirect(const std::string& status, const std::string& location) {
  return "HTTP/1.1 " + status + " Moved\r\nLocation: " + location + "\r\nContent-Length: 0\r\n\r\n";
}
std::string Pattern(size_t n) {
  std::string s(n, '\0');
  for (size_t i = 0; i < n; ++i) s[i] = static_cast<char>(twtest::PatternByte(i));
  return s;
}

// Records every progress value; answers stopAt's verdict.
class ProgressLog : public cProgressNotifyTarget {
public:
  bool SetProgress(double percent) override {
    values.push_back(percent);
    return !(stopAfter >= 0 && static_cast<int>(values.size()) > stopAfter);
  }
  std::vector<double> values;
  int stopAfter = -1;  // -1: never stop
};

struct sOutcome {
  int32_t code;
  std::string bytes;
  std::vector<double> progress;
};

sOutcome Download(const std::string& url, int stopAfter = -1) {
  cMemIOTarget out;
  ProgressLog log;
  log.stopAfter = stopAfter;
  const std::u16string address = twtest::U16(url);
  cUpdateDownload download(&out, address.c_str(), &log);
  sOutcome outcome;
  outcome.code = download.Run();
  _typebuf<char> bytes;
  EXPECT_TRUE(out.CopyToBuffer(bytes));
  outcome.bytes.assign(bytes.data != nullptr ? bytes.data : "", bytes.count);
  outcome.progress = log.values;
  return outcome;
}

TEST(UpdateDownload, ResultCodesByAnswer) {
  const std::string body = "MZ-setup-bytes";
  const std::string whole = "HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body;
  const struct {
    const char* what;
    std::string url;
    int32_t code;
  } cases[] = {
      {"every announced byte", SendUrl(whole), tw::kDownloadComplete},
      {"a big pattern body", Server().Url("/bytes/300000"), tw::kDownloadComplete},
      {"302 then 200", SendUrl(Redirect("302 Found", Server().Url("/bytes/5000"))), tw::kDownloadComplete},
      {"301, 303 and 307 are followed too", SendUrl(Redirect("307 Temporary", SendUrl(whole))),
       tw::kDownloadComplete},
      {"a second redirect", SendUrl(Redirect("302 Found", SendUrl(Redirect("301 Moved", SendUrl(whole))))),
       tw::kDownloadSecondRedirect},
      {"302 without Location", SendUrl("HTTP/1.1 302 Found\r\nContent-Length: 0\r\n\r\n"), tw::kDownloadServerError},
      {"404", Server().Url("/missing"), tw::kDownloadServerError},
      {"500 with a body", SendUrl("HTTP/1.1 500 Oops\r\nContent-Length: 4\r\n\r\nfail"), tw::kDownloadServerError},
      {"no Content-Length, body to the close", SendUrl("HTTP/1.1 200 OK\r\n\r\n" + body), tw::kDownloadIncomplete},
      {"Content-Length 0", SendUrl("HTTP/1.1 200 OK\r\nContent-Length: 0\r\n\r\n"), tw::kDownloadIncomplete},
      {"chunked, no length announced", Server().Url("/chunkedbytes/1000"), tw::kDownloadIncomplete},
      {"cut short", SendUrl("HTTP/1.1 200 OK\r\nContent-Length: 100\r\n\r\n" + body), tw::kDownloadIncomplete},
      {"cut after a redirect", SendUrl(Redirect("302 Found", SendUrl("HTTP/1.1 200 OK\r\nContent-Length: 100\r\n\r\nab"))),
       tw::kDownloadIncomplete},
      {"nothing listens",
       "http://127.0.0.1:" + std::to_string(Server().ClosedPort()) + "/setup.exe", tw::kDownloadIncomplete},
      {"not an address", "ftp://h/setup.exe", tw::kDownloadBadAddress},
      {"a redirect to no address", SendUrl(Redirect("302 Found", "file:///setup.exe")), tw::kDownloadBadAddress},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const sOutcome outcome = Download(c.url);
    EXPECT_EQ(outcome.code, c.code);
    for (double p : outcome.progress) {
      EXPECT_TRUE(std::isfinite(p));
      EXPECT_GE(p, 0.0);
      EXPECT_LE(p, 100.0);
    }
  }
}

TEST(UpdateDownload, CompleteBodyIsWrittenWhole) {
  const sOutcome outcome = Download(SendUrl(Redirect("302 Found", Server().Url("/bytes/200000"))));
  EXPECT_EQ(outcome.code, tw::kDownloadComplete);
  EXPECT_EQ(outcome.bytes.size(), 200000u);
  EXPECT_TRUE(outcome.bytes == Pattern(200000));
  ASSERT_FALSE(outcome.progress.empty());
  EXPECT_DOUBLE_EQ(outcome.progress.front(), 0.0);
  for (size_t i = 1; i < outcome.progress.size(); ++i) EXPECT_GT(outcome.progress[i], outcome.progress[i - 1]);
}

TEST(UpdateDownload, NoProgressWithoutAPositiveLength) {
  // With no length (or 0) the fraction is undefined: nothing is reported.
  const sOutcome none = Download(SendUrl("HTTP/1.1 200 OK\r\n\r\nsome body bytes"));
  EXPECT_EQ(none.code, tw::kDownloadIncomplete);
  EXPECT_EQ(none.bytes, "some body bytes");
  EXPECT_TRUE(none.progress.empty());
  const sOutcome chunked = Download(Server().Url("/chunkedbytes/70000"));
  EXPECT_EQ(chunked.code, tw::kDownloadIncomplete);
  EXPECT_TRUE(chunked.progress.empty());
}

TEST(UpdateDownload, StopFromTheSinkEndsIncomplete) {
  const sOutcome outcome = Download(Server().Url("/bytes/2000000"), 1);
  EXPECT_EQ(outcome.code, tw::kDownloadIncomplete);
  EXPECT_LT(outcome.bytes.size(), 2000000u);
}

// A stream that takes the first limit bytes and then refuses.
class FullDisk : public cMemIOTarget {
public:
  uint32_t Write(const void* source, uint32_t count) override {
    if (GetSize() + count > 1000) return 0;
    return cMemIOTarget::Write(source, count);
  }
};

TEST(UpdateDownload, RefusedWriteIsCode4) {
  FullDisk out;
  const std::u16string address = twtest::U16(Server().Url("/bytes/100000"));
  cUpdateDownload download(&out, address.c_str(), nullptr);
  EXPECT_EQ(download.Run(), tw::kDownloadWriteFailed);
}

}  // namespace
