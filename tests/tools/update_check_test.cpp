// The update check: the answer parser over a table of answers, the version
// text, the request's exact text, and whole checks against the loopback
// test server (tests/net/http_server.py) through the address-prefix seam.
#include <gtest/gtest.h>

#include <string>

#include "base/strings.h"
#include "net/http_request.h"
#include "tests/net/http_server.h"
#include "tools/update_check.h"

namespace {

// UTF-8 of a text, "<unset>" when it was never written.
std::string N(const _guardchar<char16_t>& s) {
  if (s.text == nullptr) return "<unset>";
  _guardchar<char> utf8;
  WideToUtf8(s.text, utf8, -1);
  return utf8.text;
}

constexpr uint64_t V(uint64_t a, uint64_t b, uint64_t c, uint64_t d) { return (a << 48) | (b << 32) | (c << 16) | d; }

struct sParseCase {
  const char* what;
  std::string body;
  bool ok;
  uint64_t version;  // ~0: left as it was
  const char* download;  // null: left unset
  const char* web;
  const char* notes;     // "<keep>": left as it was
};

TEST(UpdateCheck, ParsesAnswersByTheTable) {
  const uint64_t kUnset = ~0ull;
  const sParseCase cases[] = {
      {"three CR LF lines, no notes", "1.2.3.4\r\nhttp://h/a.exe\r\nhttp://h/\r\n", true, V(1, 2, 3, 4),
       "http://h/a.exe", "http://h/", "<keep>"},
      {"LF alone never ends a line", "1.2.3.4\nhttp://h/a.exe\nhttp://h/\n", false, kUnset, nullptr, nullptr,
       "<keep>"},
      {"blank lines between the lines", "2.0\r\n\r\nhttp://h/b.exe\r\n\r\n\r\nweb\r\n", true, V(2, 0, 0, 0),
       "http://h/b.exe", "web", "<keep>"},
      {"a CR before the version line", "\r\n1.0\r\na\r\nb\r\n", false, kUnset, nullptr, nullptr, "<keep>"},
      {"an LF before the version line is blank space", "\n3.1\r\na\r\nb\r\n", true, V(3, 1, 0, 0), "a", "b",
       "<keep>"},
      {"two parts", "2.1\r\na\r\nb\r\n", true, V(2, 1, 0, 0), "a", "b", "<keep>"},
      {"one number", "7\r\na\r\nb\r\n", false, kUnset, nullptr, nullptr, "<keep>"},
      {"a part above 65535", "70000.1\r\na\r\nb\r\n", false, kUnset, nullptr, nullptr, "<keep>"},
      {"a negative part", "-1.2\r\na\r\nb\r\n", false, kUnset, nullptr, nullptr, "<keep>"},
      {"65535 is a part", "65535.65535.65535.65535\r\na\r\nb\r\n", true, ~0ull, "a", "b", "<keep>"},
      {"web page line without CR: version and address kept", "1.5\r\nhttp://h/c.exe\r\nweb", false, V(1, 5, 0, 0),
       "http://h/c.exe", nullptr, "<keep>"},
      {"ends after the version line", "1.5\r\n", false, V(1, 5, 0, 0), nullptr, nullptr, "<keep>"},
      {"address line without CR", "1.5\r\nhttp://h/c.exe", false, V(1, 5, 0, 0), nullptr, nullptr, "<keep>"},
      {"notes keep their own line ends", "1.0.1\r\na\r\nb\r\n\r\nfirst\r\nsecond\r\n\r\n", true, V(1, 0, 1, 0), "a",
       "b", "first\r\nsecond\r\n\r\n"},
      {"notes without a line end", "1.0\r\na\r\nb\r\nonly", true, V(1, 0, 0, 0), "a", "b", "only"},
      {"UTF-8 texts", "1.0\r\nhttp://h/\xc3\xa9.exe\r\nweb\r\nNeu: \xc3\xbc\r\n", true, V(1, 0, 0, 0),
       "http://h/\xc3\xa9.exe", "web", "Neu: \xc3\xbc\r\n"},
      {"empty body", "", false, kUnset, nullptr, nullptr, "<keep>"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    uint64_t version = kUnset;
    _guardchar<char16_t> download, web, notes;
    notes.Assign(u"<keep>");
    const bool ok =
        ParseUpdateAnswer(c.body.data(), static_cast<uint32_t>(c.body.size()), version, download, web, notes);
    EXPECT_EQ(ok, c.ok);
    EXPECT_EQ(version, c.version);
    EXPECT_EQ(N(download), c.download != nullptr ? c.download : "<unset>");
    EXPECT_EQ(N(web), c.web != nullptr ? c.web : "<unset>");
    EXPECT_EQ(N(notes), c.notes);
  }
}

TEST(UpdateCheck, VersionTextShowsAtLeastTwoParts) {
  const struct {
    uint64_t version;
    const char* text;
  } cases[] = {
      {V(1, 0, 0, 0), "1.0"},        {V(3, 0, 7, 0), "3.0.7"},      {V(2, 5, 0, 3), "2.5.0.3"},
      {V(0, 0, 0, 0), "0.0"},        {V(10, 20, 30, 40), "10.20.30.40"},
      {~0ull, "65535.65535.65535.65535"},
  };
  for (const auto& c : cases) {
    _guardchar<char16_t> text;
    FormatVersionText(text, c.version);
    EXPECT_EQ(N(text), c.text) << std::hex << c.version;
  }
}

TEST(UpdateCheck, RequestTextNamesTheCodenameAndTheSystem) {
  _guardchar<char> address;
  FormatUpdateCheckAddress(kUpdateCheckPrefix, "tarn-app.2", address);
  EXPECT_STREQ(address.text, "http://updates.tarnwick.test/autocheck.php?softwareid=tarn-app.2&os=win");
  cHttpRequest request(address.text);
  _typebuf<char> text;
  ASSERT_TRUE(request.Build(text));
  EXPECT_EQ(std::string(text.data, text.count),
            "GET /autocheck.php?softwareid=tarn-app.2&os=win HTTP/1.1\r\n"
            "Host: updates.tarnwick.test\r\n"
            "User-Agent: QXVNetHTTP (compatible; cross-platform)\r\n"
            "\r\n");
  // The endpoint's host ends in the reserved ".test" domain.
  const std::string host = kUpdateCheckHost;
  EXPECT_EQ(host.substr(host.size() - 5), ".test");
  EXPECT_EQ(std::string(kUpdateCheckPrefix), "http://" + host + "/autocheck.php?softwareid=");
}

TEST(UpdateCheck, SinkAcceptsOnlyAnnouncedShortAnswers) {
  const struct {
    int32_t status;
    int64_t length;
    bool accepted;
  } cases[] = {
      {200, 1, true},   {200, 65536, true}, {200, 65537, false}, {200, 0, false},
      {200, -1, false}, {404, 10, false},   {302, 10, false},    {206, 10, false},
  };
  for (const auto& c : cases) {
    cPlainDataReader reader;
    ASSERT_TRUE(reader.body.WriteExact("old", 3));
    reader.status = c.status;
    reader.contentLength = c.length;
    EXPECT_EQ(reader.OnHeaders(), c.accepted) << c.status << " " << c.length;
    // Acceptance starts the body afresh.
    if (c.accepted) EXPECT_EQ(reader.body.GetSize(), 0u);
  }
}

// ---- Whole checks against the loopback server ----------------------------------

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

// A prefix under which the server answers with wire whatever follows.
std::string PrefixSending(const std::string& wire) {
  return Server().Url("/send?hex=" + Hex(wire) + "&softwareid=");
}

std::string Answer(const std::string& head, const std::string& body) { return head + "\r\n\r\n" + body; }

TEST(UpdateCheck, WholeChecksAgainstTheServer) {
  const std::string good = "4.1.0.2\r\nhttp://h/setup.exe\r\nhttp://h/\r\nNotes\r\n";
  const struct {
    const char* what;
    std::string wire;
    bool ok;
  } cases[] = {
      {"200 with its length", Answer("HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(good.size()), good), true},
      {"no length", Answer("HTTP/1.1 200 OK\r\nConnection: close", good), false},
      {"length 0", Answer("HTTP/1.1 200 OK\r\nContent-Length: 0", ""), false},
      {"chunked", Answer("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked", "5\r\n4.1\r\n\r\n0\r\n\r\n"), false},
      {"404 with an answer", Answer("HTTP/1.1 404 Not Found\r\nContent-Length: " + std::to_string(good.size()), good),
       false},
      {"cut short", Answer("HTTP/1.1 200 OK\r\nContent-Length: 200", good), false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    uint64_t version = 0;
    _guardchar<char16_t> download, web, notes;
    EXPECT_EQ(CheckForUpdateAt(PrefixSending(c.wire).c_str(), "tarn-app", version, download, web, notes), c.ok);
    if (c.ok) {
      EXPECT_EQ(version, V(4, 1, 0, 2));
      EXPECT_EQ(N(download), "http://h/setup.exe");
      EXPECT_EQ(N(web), "http://h/");
      EXPECT_EQ(N(notes), "Notes\r\n");
    }
  }
}

TEST(UpdateCheck, CodenameIsSentUnchangedOrRefused) {
  const std::string body = "1.0\r\na\r\nb\r\n";
  const std::string prefix =
      PrefixSending(Answer("HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(body.size()), body));
  uint64_t version = 0;
  _guardchar<char16_t> download, web, notes;
  EXPECT_TRUE(CheckForUpdateAt(prefix.c_str(), "Tarn-App.9", version, download, web, notes));
  EXPECT_FALSE(CheckForUpdateAt(prefix.c_str(), "tarn app", version, download, web, notes));
  EXPECT_FALSE(CheckForUpdateAt(prefix.c_str(), nullptr, version, download, web, notes));
  // Nothing listens: the check fails, it does not hang.
  const std::string closed = "http://127.0.0.1:" + std::to_string(Server().ClosedPort()) + "/autocheck.php?softwareid=";
  EXPECT_FALSE(CheckForUpdateAt(closed.c_str(), "tarn-app", version, download, web, notes));
}

}  // namespace
