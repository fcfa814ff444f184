// The response reader over scripted connections: every answer whole, split
// into two reads at every offset and byte by byte, cut short at every
// offset, and ended by a time-out or an error instead of an orderly close.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "net/http_response.h"
#include "net/socket_io.h"
#include "tests/support/scripted_socket.h"

namespace {

// Collects the body and checks that offsets run on without gaps.
class Collector : public cHttpResponse {
public:
  bool OnData(const char* data, uint32_t length, uint64_t offset) override {
    if (offset != body.size()) gap = true;
    if (length == 0) emptyCall = true;
    body.append(data, length);
    return !refuseData;
  }
  bool OnHeaders() override {
    ++headerCalls;
    return !refuseHeaders;
  }
  std::string body;
  bool gap = false;
  bool emptyCall = false;
  int headerCalls = 0;
  bool refuseHeaders = false;
  bool refuseData = false;
};

struct Outcome {
  bool ok;
  int32_t status;
  std::string body;
};

Outcome ReadScript(const std::string& wire, uint32_t piece, std::vector<size_t> cuts = {},
                   int32_t endCode = kSocketClosed, Collector* sink = nullptr) {
  twtest::ScriptedSocket socket(wire, piece, endCode);
  socket.cuts = std::move(cuts);
  cSocketIO io(&socket);
  Collector local;
  Collector& c = sink != nullptr ? *sink : local;
  const bool ok = c.Read(&io);
  EXPECT_FALSE(c.gap) << "offsets jumped";
  EXPECT_FALSE(c.emptyCall) << "OnData called without data";
  return {ok, c.status, c.body};
}

struct Case {
  const char* name;
  std::string wire;
  bool ok;
  int32_t status;
  std::string body;
};

const std::string kChunked9 =
    "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n4\r\nWiki\r\n5\r\npedia\r\n0\r\n\r\n";

std::vector<Case> Cases() {
  return {
      {"1.0 with length", "HTTP/1.0 200 Fine thanks\r\nContent-Length: 5\r\n\r\nhello", true, 200, "hello"},
      {"1.1 empty 404", "HTTP/1.1 404 Not Found\r\nContent-Length: 0\r\n\r\n", true, 404, ""},
      {"status line of 12 bytes", "HTTP/1.1 200\r\nContent-Length: 2\r\n\r\nok", true, 200, "ok"},
      {"HTTP/2", "HTTP/2 200 OK\r\nContent-Length: 0\r\n\r\n", false, 0, ""},
      {"status 000", "HTTP/1.1 000 Zero\r\nContent-Length: 0\r\n\r\n", false, 0, ""},
      // Bytes 9-11 of the buffer would be the next line's.
      {"status line too short", "HTTP/1.\r\n200 OK\r\n\r\n", false, 0, ""},
      {"status digits cut", "HTTP/1.1 20\r\nContent-Length: 0\r\n\r\n", false, 0, ""},
      {"blank line first", "\r\nHTTP/1.1 200 OK\r\n\r\n", false, 0, ""},
      {"hex length in lower case", "HTTP/1.1 200 OK\r\ncontent-length: 0x10\r\n\r\n0123456789abcdefXYZ", true, 200,
       "0123456789abcdef"},
      {"length of letters reads to the close", "HTTP/1.1 200 OK\r\nContent-Length: abc\r\n\r\nall of it", true, 200,
       "all of it"},
      {"negative length reads to the close", "HTTP/1.1 200 OK\r\nContent-Length: -5\r\n\r\nall", true, 200, "all"},
      {"length without blank", "HTTP/1.1 200 OK\r\nContent-Length:5\r\n\r\nhello!!", true, 200, "hello"},
      {"length with trailing blanks", "HTTP/1.1 200 OK\r\nContent-Length: 5 \t \r\n\r\nhello!!", true, 200, "hello"},
      {"length shorter than the data", "HTTP/1.1 200 OK\r\nContent-Length: 3\r\n\r\nabcdef", true, 200, "abc"},
      {"length longer than the data", "HTTP/1.1 200 OK\r\nContent-Length: 10\r\n\r\nabcdef", false, 200, "abcdef"},
      {"no length, close", "HTTP/1.1 200 OK\r\nServer: x\r\n\r\nabcdef", true, 200, "abcdef"},
      {"chunked", kChunked9, true, 200, "Wikipedia"},
      {"chunked with trailers", "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n3\r\nabc\r\n0\r\nX-T: 1\r\n\r\n",
       true, 200, "abc"},
      {"gzip, chunked", "HTTP/1.1 200 OK\r\nTransfer-Encoding: gzip, chunked\r\n\r\n2\r\nhi\r\n0\r\n\r\n", true, 200,
       "hi"},
      {"Chunked is not chunked", "HTTP/1.1 200 OK\r\nTransfer-Encoding: Chunked\r\n\r\n2\r\nhi\r\n0\r\n\r\n", true,
       200, "2\r\nhi\r\n0\r\n\r\n"},
      {"upper-case chunk size", "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\nA\r\n0123456789\r\n0\r\n\r\n",
       true, 200, "0123456789"},
      {"chunk extension", "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n4;x=1\r\nWiki\r\n0\r\n\r\n", false,
       200, ""},
      {"chunk size missing", "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n\r\nWiki\r\n0\r\n\r\n", false, 200,
       ""},
      {"chunk size with blank", "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n 4\r\nWiki\r\n0\r\n\r\n", false,
       200, ""},
      {"chunk size past 64 bits",
       "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n10000000000000000\r\nWiki\r\n0\r\n\r\n", false, 200, ""},
      {"chunk data longer than its size",
       "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n4\r\nWikipedia\r\n0\r\n\r\n", false, 200, "Wiki"},
      {"chunk size line without LF", "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n4\rWiki\r\n0\r\n\r\n",
       false, 200, ""},
      {"chunked without last chunk", "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n4\r\nWiki\r\n", false, 200,
       "Wiki"},
      {"chunked beside a length", "HTTP/1.1 200 OK\r\nContent-Length: 3\r\nTransfer-Encoding: chunked\r\n\r\n"
       "4\r\nWiki\r\n5\r\npedia\r\n0\r\n\r\n", true, 200, "Wikipedia"},
      {"interim 100 first", "HTTP/1.1 100 Continue\r\nX: 1\r\n\r\nHTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nok",
       true, 200, "ok"},
      {"only an interim head", "HTTP/1.1 100 Continue\r\n\r\n", false, 0, ""},
      {"204 has no body", "HTTP/1.1 204 No Content\r\nContent-Length: 10\r\n\r\n", true, 204, ""},
      {"304 has no body", "HTTP/1.1 304 Not Modified\r\nTransfer-Encoding: chunked\r\n\r\n", true, 304, ""},
      {"empty value", "HTTP/1.1 200 OK\r\nX-Empty: \r\nContent-Length: 1\r\n\r\nz", true, 200, "z"},
      {"nothing after the colon", "HTTP/1.1 200 OK\r\nX-Empty:\r\nContent-Length: 1\r\n\r\nz", false, 200, ""},
      {"no colon", "HTTP/1.1 200 OK\r\nNoColonHere\r\n\r\n", false, 200, ""},
      {"no name", "HTTP/1.1 200 OK\r\n: value\r\n\r\n", false, 200, ""},
      {"bare LF", "HTTP/1.1 200 OK\nContent-Length: 0\r\n\r\n", false, 0, ""},
      {"CR without LF", "HTTP/1.1 200 OK\r\nX: a\rb\r\nContent-Length: 0\r\n\r\n", false, 200, ""},
      {"zero byte in head", std::string("HTTP/1.1 200 OK\r\nX: a") + '\0' + "b\r\nContent-Length: 0\r\n\r\n", false, 200,
       ""},
      {"empty stream", "", false, 0, ""},
      {"head cut in a line", "HTTP/1.1 200 OK\r\nContent-Le", false, 200, ""},
      {"head cut before the blank line", "HTTP/1.1 200 OK\r\nContent-Length: 0\r\n", false, 200, ""},
  };
}

TEST(HttpResponse, EachAnswerWholeSplitAndByteByByte) {
  for (const Case& c : Cases()) {
    SCOPED_TRACE(c.name);
    const Outcome whole = ReadScript(c.wire, 0);
    EXPECT_EQ(whole.ok, c.ok);
    EXPECT_EQ(whole.status, c.status);
    EXPECT_EQ(whole.body, c.body);
    const Outcome bytes = ReadScript(c.wire, 1);
    EXPECT_EQ(bytes.ok, c.ok) << "byte by byte";
    EXPECT_EQ(bytes.status, c.status) << "byte by byte";
    // A failed answer may have delivered less when it failed earlier.
    if (c.ok) {
      EXPECT_EQ(bytes.body, c.body) << "byte by byte";
    }
    for (size_t k = 1; k < c.wire.size(); ++k) {
      const Outcome split = ReadScript(c.wire, 0, {k});
      EXPECT_EQ(split.ok, c.ok) << "split at " << k;
      if (c.ok) {
        EXPECT_EQ(split.body, c.body) << "split at " << k;
      }
    }
  }
}

TEST(HttpResponse, AnAnswerCutShortNeverSucceeds) {
  // Every proper prefix of an answer whose body has a known end fails; only
  // the whole answer succeeds.
  const std::string answers[] = {
      kChunked9,
      "HTTP/1.1 200 OK\r\nContent-Length: 6\r\n\r\nabcdef",
      "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n1a\r\nabcdefghijklmnopqrstuvwxyz\r\n0\r\n\r\n",
  };
  for (const std::string& wire : answers) {
    // The last chunk's own line end and the trailer's are never read.
    const size_t end = wire.size() - (wire.find("chunked") != std::string::npos ? 2 : 0);
    for (size_t cut = 0; cut < end; ++cut) {
      const Outcome o = ReadScript(wire.substr(0, cut), 0);
      EXPECT_FALSE(o.ok) << "cut at " << cut << " of " << wire;
    }
    EXPECT_TRUE(ReadScript(wire, 0).ok) << wire;
  }
}

TEST(HttpResponse, OnlyAnOrderlyCloseEndsABodyWithoutLength) {
  const std::string wire = "HTTP/1.1 200 OK\r\n\r\nsome body";
  EXPECT_TRUE(ReadScript(wire, 0, {}, kSocketClosed).ok);
  EXPECT_FALSE(ReadScript(wire, 0, {}, kSocketTimedOut).ok);
  EXPECT_FALSE(ReadScript(wire, 0, {}, kSocketCallFailed).ok);
  // A complete body is complete whatever would have followed.
  EXPECT_TRUE(ReadScript(kChunked9, 0, {}, kSocketTimedOut).ok);
  EXPECT_TRUE(ReadScript("HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nab", 3, {}, kSocketTimedOut).ok);
}

TEST(HttpResponse, ChunkOffsetsFollowTheChunks) {
  struct Offsets : Collector {
    bool OnData(const char* data, uint32_t length, uint64_t offset) override {
      offsets.push_back(offset);
      return Collector::OnData(data, length, offset);
    }
    std::vector<uint64_t> offsets;
  } sink;
  const Outcome o = ReadScript(kChunked9, 0, {}, kSocketClosed, &sink);
  EXPECT_TRUE(o.ok);
  EXPECT_EQ(sink.offsets, (std::vector<uint64_t>{0, 4}));
  EXPECT_EQ(sink.contentLength, 9);
  EXPECT_EQ(sink.headerCalls, 1);
}

TEST(HttpResponse, HeadersAreKeptByExactName) {
  Collector c;
  const std::string wire =
      "HTTP/1.1 302 Found\r\nLocation: http://example.com/new\r\nX-Twice: 1\r\nX-Twice: 2\r\n"
      "x-lower: v\r\nContent-Length: 0\r\n\r\n";
  ASSERT_TRUE(ReadScript(wire, 0, {}, kSocketClosed, &c).ok);
  EXPECT_EQ(c.status, 302);
  ASSERT_NE(c.GetLocation(), nullptr);
  EXPECT_STREQ(c.GetLocation(), "http://example.com/new");
  EXPECT_STREQ(c.FindHeader("X-Twice"), "2");
  EXPECT_STREQ(c.FindHeader("x-lower"), "v");
  EXPECT_EQ(c.FindHeader("X-Lower"), nullptr);
  EXPECT_EQ(c.contentLength, 0);

  Collector lower;
  ASSERT_TRUE(ReadScript("HTTP/1.1 302 Found\r\nlocation: /x\r\nContent-Length: 0\r\n\r\n", 0, {}, kSocketClosed,
                         &lower)
                  .ok);
  EXPECT_EQ(lower.GetLocation(), nullptr);
}

TEST(HttpResponse, OnlyTheFinalHeadReachesTheSink) {
  Collector c;
  const std::string wire =
      "HTTP/1.1 100 Continue\r\nX-Interim: 1\r\nContent-Length: 99\r\n\r\n"
      "HTTP/1.1 102 Processing\r\n\r\n"
      "HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nok";
  ASSERT_TRUE(ReadScript(wire, 0, {}, kSocketClosed, &c).ok);
  EXPECT_EQ(c.headerCalls, 1);
  EXPECT_EQ(c.status, 200);
  EXPECT_EQ(c.FindHeader("X-Interim"), nullptr);
  EXPECT_EQ(c.contentLength, 2);
  EXPECT_EQ(c.body, "ok");
}

TEST(HttpResponse, ALengthFromAnEarlierReadStillLimitsTheBody) {
  const std::string wire = "HTTP/1.1 200 OK\r\nContent-Length: 4\r\nX: y\r\n\r\nbodyEXTRA";
  const size_t blank = wire.find("\r\n\r\n") + 2;
  const Outcome o = ReadScript(wire, 0, {wire.find("X:"), blank});
  EXPECT_TRUE(o.ok);
  EXPECT_EQ(o.body, "body");
}

TEST(HttpResponse, TheHeadIsCappedAt64KiB) {
  auto headOf = [](size_t filler) {
    std::string wire = "HTTP/1.1 200 OK\r\n";
    while (wire.size() < filler) wire += "X-Pad: " + std::string(91, 'p') + "\r\n";
    return wire;
  };
  const std::string small = headOf(60000) + "Content-Length: 2\r\n\r\nok";
  EXPECT_TRUE(ReadScript(small, 1000).ok);
  // Many short lines whose sum exceeds the cap, arriving in small reads.
  const std::string big = headOf(70000) + "Content-Length: 2\r\n\r\nok";
  EXPECT_FALSE(ReadScript(big, 1000).ok);
  // One line longer than the buffer.
  const std::string longLine = "HTTP/1.1 200 OK\r\nX: " + std::string(70000, 'l') + "\r\n\r\n";
  EXPECT_FALSE(ReadScript(longLine, 0).ok);
}

TEST(HttpResponse, TheSinkCanAbort) {
  Collector noHeaders;
  noHeaders.refuseHeaders = true;
  EXPECT_FALSE(ReadScript(kChunked9, 0, {}, kSocketClosed, &noHeaders).ok);
  EXPECT_EQ(noHeaders.headerCalls, 1);
  EXPECT_EQ(noHeaders.body, "");
  Collector noData;
  noData.refuseData = true;
  EXPECT_FALSE(ReadScript(kChunked9, 0, {}, kSocketClosed, &noData).ok);
  EXPECT_EQ(noData.body, "Wiki");
}

TEST(HttpResponse, NoStreamOrAClosedOne) {
  Collector c;
  EXPECT_FALSE(c.Read(nullptr));
  twtest::ScriptedSocket socket("HTTP/1.1 200 OK\r\nContent-Length: 0\r\n\r\n", 0, kSocketClosed);
  socket.CloseScript();
  cSocketIO io(&socket);
  EXPECT_FALSE(c.Read(&io));
  EXPECT_EQ(socket.receives, 0);
  cSocketIO none(nullptr);
  EXPECT_FALSE(none.IsOpen());
  EXPECT_FALSE(c.Read(&none));
}

TEST(HttpResponse, ASinkReadsAgainFromAFreshState) {
  Collector c;
  ASSERT_TRUE(ReadScript(kChunked9, 0, {}, kSocketClosed, &c).ok);
  c.body.clear();
  ASSERT_TRUE(ReadScript("HTTP/1.0 201 Created\r\n\r\nplain", 0, {}, kSocketClosed, &c).ok);
  EXPECT_EQ(c.status, 201);
  EXPECT_EQ(c.chunked, 0);
  EXPECT_EQ(c.contentLength, -1);
  EXPECT_EQ(c.body, "plain");
  EXPECT_EQ(c.FindHeader("Transfer-Encoding"), nullptr);
}

TEST(SocketIO, AStreamWithoutSizeOrPosition) {
  twtest::ScriptedSocket socket("abc", 0, kSocketClosed);
  cSocketIO io(&socket);
  EXPECT_EQ(io.GetSize(), UINT64_MAX);
  EXPECT_FALSE(io.Seek(0));
  EXPECT_FALSE(io.SeekFromEnd(0));
  EXPECT_FALSE(io.SetSize(0));
  EXPECT_EQ(io.Clone(false), nullptr);
  EXPECT_EQ(io.Write("xy", 2), 2u);
  char buf[8];
  EXPECT_EQ(io.Read(buf, 8), 3u);
  EXPECT_EQ(io.Read(buf, 8), 0u);
  EXPECT_TRUE(io.EndedByPeer());
  io.Close();
  EXPECT_FALSE(io.IsOpen());
  EXPECT_EQ(io.Read(buf, 8), 0u);
  EXPECT_EQ(io.Write("xy", 2), 0u);
  EXPECT_FALSE(io.EndedByPeer());
}

}  // namespace
