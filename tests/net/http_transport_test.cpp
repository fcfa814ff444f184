// Requests end to end against the loopback test server (tests/net/
// http_server.py): the exact bytes that go out, bodies of every framing,
// answers cut short at every byte, heads in many small writes, redirects,
// a silent server and a TLS address whose server speaks no TLS.
#include <gtest/gtest.h>

#include <string>

#include "net/http_transport.h"
#include "net/socket_io.h"
#include "tests/net/http_server.h"

namespace {

class NetEnv : public ::testing::Environment {
public:
  void SetUp() override { ASSERT_TRUE(StartSocketLibrary()); }
};
const auto* const kEnv = ::testing::AddGlobalTestEnvironment(new NetEnv);

twtest::HttpTestServer& Server() {
  static twtest::HttpTestServer server;
  return server;
}

class Collector : public cHttpResponse {
public:
  bool OnData(const char* data, uint32_t length, uint64_t offset) override {
    if (offset != body.size()) gap = true;
    body.append(data, length);
    return true;
  }
  std::string body;
  bool gap = false;
};

std::string Hex(const std::string& bytes) {
  static const char* digits = "0123456789abcdef";
  std::string out;
  for (unsigned char c : bytes) {
    out += digits[c >> 4];
    out += digits[c & 15];
  }
  return out;
}

// The server sends wire, shaped by the extra query text.
std::string SendUrl(const std::string& wire, const std::string& extra = "") {
  return Server().Url("/send?hex=" + Hex(wire) + extra);
}

struct Result {
  bool ok;
  int32_t status;
  std::string body;
  int32_t code;
};

Result Fetch(const std::string& url) {
  cHttpRequest request(url.c_str());
  cHttpTransport transport;
  Collector c;
  const bool ok = transport.Execute(request, c);
  EXPECT_FALSE(c.gap) << url;
  EXPECT_FALSE(transport.IsOpen()) << "a transport keeps no connection";
  return {ok, c.status, c.body, transport.LastError()};
}

bool IsPattern(const std::string& body, uint64_t size) {
  if (body.size() != size) return false;
  for (uint64_t i = 0; i < size; ++i)
    if (static_cast<uint8_t>(body[i]) != twtest::PatternByte(i)) return false;
  return true;
}

TEST(HttpTransport, TheRequestGoesOutByteForByte) {
  cHttpRequest request(Server().Url("/echo?softwareid=7&os=w#frag").c_str());
  request.SetHeader("Accept", "*/*");
  _typebuf<char> text;
  ASSERT_TRUE(request.Build(text));
  cHttpTransport transport;
  Collector c;
  ASSERT_TRUE(transport.Execute(request, c)) << "code " << transport.LastError();
  EXPECT_EQ(c.status, 200);
  EXPECT_EQ(c.body, std::string(text.data, static_cast<size_t>(text.count)));
  EXPECT_STREQ(transport.HostName(), "127.0.0.1");

  // A multipart POST with its body; the boundary differs per build, so the
  // echo is compared with the same build's text.
  cHttpRequest post(Server().Url("/echo").c_str());
  post.method = cHttpRequest::kPost;
  std::string blob(100000, '\0');
  for (size_t i = 0; i < blob.size(); ++i) blob[i] = static_cast<char>(i * 7);
  post.AddFormPart("file", "application/octet-stream", "filename=\"x.bin\"", blob.data(),
                   static_cast<int32_t>(blob.size()));
  post.AddFormPart("note", nullptr, nullptr, "hi", 2);
  Collector e;
  ASSERT_TRUE(transport.Execute(post, e));
  const std::string echoed = e.body;
  EXPECT_EQ(echoed.rfind("POST /echo HTTP/1.1\r\n", 0), 0u);
  EXPECT_NE(echoed.find(blob), std::string::npos);
  EXPECT_NE(echoed.find("name=\"note\"\r\n\r\nhi\r\n"), std::string::npos);
}

TEST(HttpTransport, BodiesOfEveryFraming) {
  const uint64_t size = (3u << 20) + 12345;
  Result r = Fetch(Server().Url("/bytes/" + std::to_string(size)));
  EXPECT_TRUE(r.ok);
  EXPECT_EQ(r.status, 200);
  EXPECT_TRUE(IsPattern(r.body, size)) << r.body.size();

  r = Fetch(Server().Url("/chunkedbytes/" + std::to_string(size)));
  EXPECT_TRUE(r.ok);
  EXPECT_TRUE(IsPattern(r.body, size)) << r.body.size();

  r = Fetch(Server().Url("/bytes/0"));
  EXPECT_TRUE(r.ok);
  EXPECT_EQ(r.body, "");

  r = Fetch(Server().Url("/nothing-here"));
  EXPECT_TRUE(r.ok);
  EXPECT_EQ(r.status, 404);
}

TEST(HttpTransport, CraftedAnswers) {
  struct Case {
    const char* what;
    std::string wire;
    std::string shape;
    bool ok;
    std::string body;
  } cases[] = {
      {"length shorter than the body", "HTTP/1.1 200 OK\r\nContent-Length: 4\r\n\r\n0123456789", "", true, "0123"},
      {"length longer than the body", "HTTP/1.1 200 OK\r\nContent-Length: 20\r\n\r\n0123456789", "", false, ""},
      {"no length, then close", "HTTP/1.1 200 OK\r\n\r\n0123456789", "", true, "0123456789"},
      {"head in one-byte writes",
       "HTTP/1.1 200 OK\r\nContent-Type: text/plain\r\nX-Long: " + std::string(300, 'v') +
           "\r\nContent-Length: 5\r\n\r\nsplit",
       "&piece=1&pause=1", true, "split"},
      {"chunked in three-byte writes", "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n4\r\nWiki\r\n5\r\npedia\r\n0\r\n\r\n",
       "&piece=3&pause=2", true, "Wikipedia"},
      {"early close in the head", "HTTP/1.1 200 OK\r\nContent-Length: 5\r\n\r\nabcde", "&cut=20", false, ""},
      {"close before anything", "HTTP/1.1 200 OK\r\n\r\n", "&cut=0", false, ""},
  };
  for (const auto& c : cases) {
    const Result r = Fetch(SendUrl(c.wire, c.shape));
    EXPECT_EQ(r.ok, c.ok) << c.what;
    if (c.ok) {
      EXPECT_EQ(r.body, c.body) << c.what;
    }
  }
}

TEST(HttpTransport, AChunkedAnswerCutAtEveryByteFails) {
  const std::string wire =
      "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n4\r\nWiki\r\n5\r\npedia\r\ne\r\n in\r\n\r\nchunks.\r\n0\r\n\r\n";
  const Result whole = Fetch(SendUrl(wire));
  ASSERT_TRUE(whole.ok);
  EXPECT_EQ(whole.body, "Wikipedia in\r\n\r\nchunks.");
  // The reader stops after the last chunk's size line.
  const size_t end = wire.size() - 2;
  for (size_t cut = 0; cut < end; ++cut) {
    const Result r = Fetch(SendUrl(wire, "&cut=" + std::to_string(cut)));
    EXPECT_FALSE(r.ok) << "cut at " << cut << " gave " << r.body.size() << " bytes";
  }
}

TEST(HttpTransport, ALengthDelimitedAnswerCutAtEveryByteFails) {
  const std::string wire = "HTTP/1.0 200 OK\r\nContent-Length: 12\r\n\r\nhello, world";
  for (size_t cut = 0; cut < wire.size(); ++cut) {
    const Result r = Fetch(SendUrl(wire, "&cut=" + std::to_string(cut)));
    EXPECT_FALSE(r.ok) << "cut at " << cut;
  }
  EXPECT_TRUE(Fetch(SendUrl(wire)).ok);
}

TEST(HttpTransport, ARedirectIsFollowedThroughItsLocation) {
  const std::string target = Server().Url("/bytes/1000");
  const std::string wire = "HTTP/1.1 302 Found\r\nLocation: " + target + "\r\nContent-Length: 0\r\n\r\n";
  cHttpRequest request(SendUrl(wire).c_str());
  cHttpTransport transport;
  Collector first;
  ASSERT_TRUE(transport.Execute(request, first));
  EXPECT_EQ(first.status, 302);
  ASSERT_NE(first.GetLocation(), nullptr);
  EXPECT_EQ(std::string(first.GetLocation()), target);
  // The same request and transport serve the second step.
  ASSERT_TRUE(request.Reset(first.GetLocation()));
  Collector second;
  ASSERT_TRUE(transport.Execute(request, second));
  EXPECT_EQ(second.status, 200);
  EXPECT_TRUE(IsPattern(second.body, 1000));
}

TEST(HttpTransport, ASlowSenderRunsIntoTheReceiveTimeOut) {
  // The answer's head and part of a body without length arrive; then the
  // server falls silent. The time-out must fail the read, not end the body.
  cTCPClient socket;
  const uint8_t loopback[4] = {127, 0, 0, 1};
  ASSERT_TRUE(socket.Connect(loopback, Server().Port(), 20000));
  socket.SetReceiveTimeout({0, 500000});
  const std::string wire = "HTTP/1.1 200 OK\r\n\r\npartial body";
  const std::string get = "GET /send?hex=" + Hex(wire) + "&hold=10 HTTP/1.1\r\nHost: x\r\n\r\n";
  ASSERT_EQ(socket.Send(get.data(), static_cast<uint32_t>(get.size())), get.size());
  cSocketIO io(&socket);
  Collector c;
  EXPECT_FALSE(c.Read(&io));
  EXPECT_EQ(socket.LastError(), kSocketTimedOut);
  EXPECT_EQ(c.body, "partial body");

  // The same answer closed in order is complete.
  ASSERT_TRUE(socket.Connect(loopback, Server().Port(), 20000));
  const std::string closing = "GET /send?hex=" + Hex(wire) + " HTTP/1.1\r\nHost: x\r\n\r\n";
  ASSERT_EQ(socket.Send(closing.data(), static_cast<uint32_t>(closing.size())), closing.size());
  cSocketIO io2(&socket);
  Collector d;
  EXPECT_TRUE(d.Read(&io2));
  EXPECT_EQ(d.body, "partial body");
}

TEST(HttpTransport, ReceiveRawReadsExactlyFromTheSocket) {
  class Raw : public cHttpTransport {
  public:
    bool Open(uint16_t port) { return ConnectTo("127.0.0.1", port); }
  } t;
  ASSERT_TRUE(t.Open(Server().Port()));
  const std::string wire(3000, 'r');
  const std::string get = "GET /send?hex=" + Hex(wire) + "&piece=700 HTTP/1.1\r\n\r\n";
  ASSERT_EQ(t.Send(get.data(), static_cast<uint32_t>(get.size())), get.size());
  std::string got(2500, '\0');
  EXPECT_EQ(t.ReceiveRaw(got.data(), 2500), 2500u);
  EXPECT_EQ(got, std::string(2500, 'r'));
  EXPECT_EQ(t.ReceiveRaw(got.data(), 1000), 500u);
  EXPECT_EQ(t.LastError(), kSocketClosed);
}

TEST(HttpTransport, FailuresBeforeAnyAnswer) {
  // An https address whose server speaks no TLS fails the handshake
  // instead of going out in clear.
  Result r = Fetch("https://127.0.0.1:" + std::to_string(Server().Port()) + "/bytes/10");
  EXPECT_FALSE(r.ok);
  EXPECT_EQ(r.code, kSocketCallFailed);
  EXPECT_EQ(r.status, 0);

  r = Fetch("http://127.0.0.1:" + std::to_string(Server().ClosedPort()) + "/");
  EXPECT_FALSE(r.ok);
  EXPECT_TRUE(r.code == kSocketConnectFailed || r.code == kSocketTimedOut) << "code " << r.code;

  r = Fetch("http://no-such-host.invalid/");
  EXPECT_FALSE(r.ok);
  EXPECT_EQ(r.code, kSocketClosed);

  cHttpRequest empty;
  cHttpTransport transport;
  Collector c;
  EXPECT_FALSE(transport.Execute(empty, c));
  EXPECT_EQ(transport.CipherSuite(), 0xFFFF);
  EXPECT_EQ(transport.TlsState(), cHttpTransport::kTlsNone);
}

}  // namespace
