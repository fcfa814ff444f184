// TCP sockets: the dotted-quad rule, the time-out arithmetic, and the error
// codes of connect, send and receive against the loopback test server.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "net/tcp_socket.h"
#include "net/tcp_socket_internal.h"
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

std::string Hex(const std::string& bytes) {
  static const char* digits = "0123456789abcdef";
  std::string out;
  for (unsigned char c : bytes) {
    out += digits[c >> 4];
    out += digits[c & 15];
  }
  return out;
}

bool SendAll(cTCPSocket& s, const std::string& text) {
  size_t done = 0;
  while (done < text.size()) {
    const uint32_t n = s.Send(text.data() + done, static_cast<uint32_t>(text.size() - done));
    if (n == 0) return false;
    done += n;
  }
  return true;
}

const uint8_t kLoopback[4] = {127, 0, 0, 1};

struct QuadCase {
  const char* name;
  bool dotted;
  uint8_t bytes[4];
};

TEST(DottedQuad, OnlyFourNumbersUpTo255AndNothingElse) {
  const QuadCase cases[] = {
      {"192.168.1.20", true, {192, 168, 1, 20}},
      {"0.0.0.0", true, {0, 0, 0, 0}},
      {"255.255.255.255", true, {255, 255, 255, 255}},
      {"010.001.1.1", true, {10, 1, 1, 1}},
      {"300.1.1.1", false, {}},
      {"256.1.1.1", false, {}},
      {"-1.2.3.4", false, {}},
      {"1.2.3.-4", false, {}},
      {"+1.2.3.4", false, {}},
      {"1.2.3.4x", false, {}},
      {"1.2.3.4 ", false, {}},
      {" 1.2.3.4", false, {}},
      {"1.2.3.4.", false, {}},
      {"1.2.3.4.5", false, {}},
      {"1.2.3", false, {}},
      {"1..2.3", false, {}},
      {"0001.2.3.4", false, {}},
      {"4294967297.1.1.1", false, {}},
      {"", false, {}},
      {"localhost", false, {}},
  };
  for (const QuadCase& c : cases) {
    uint8_t out[4] = {9, 9, 9, 9};
    EXPECT_EQ(tw::ParseDottedQuad(c.name, out), c.dotted) << c.name;
    if (c.dotted) {
      for (int i = 0; i < 4; ++i) EXPECT_EQ(out[i], c.bytes[i]) << c.name << " byte " << i;
    } else {
      for (int i = 0; i < 4; ++i) EXPECT_EQ(out[i], 9) << c.name << ": address changed on failure";
    }
  }
  EXPECT_FALSE(tw::ParseDottedQuad(nullptr, nullptr));
}

TEST(ResolveIPv4, DottedNamesAndTheResolver) {
  uint8_t out[4] = {};
  ASSERT_TRUE(ResolveIPv4("192.168.1.20", out));
  EXPECT_EQ(out[0], 192);
  EXPECT_EQ(out[3], 20);
  ASSERT_TRUE(ResolveIPv4("localhost", out));
  EXPECT_EQ(out[0], 127);
  EXPECT_FALSE(ResolveIPv4("no-such-host.invalid", out));
  EXPECT_FALSE(ResolveIPv4("", out));
  EXPECT_FALSE(ResolveIPv4(nullptr, out));
}

TEST(TcpSocket, TimeoutMilliseconds) {
  struct Case {
    sSocketTimeout t;
    uint32_t ms;
  } cases[] = {
      {{2, 500000}, 2500}, {{20, 0}, 20000}, {{0, 0}, 0},         {{0, 999}, 1},
      {{0, 1500}, 1},      {{-5, -1}, 0},    {{3000000, 0}, 0x7FFFFFFF},
  };
  for (const Case& c : cases)
    EXPECT_EQ(cTCPSocket::TimeoutMilliseconds(c.t), c.ms) << c.t.seconds << " s " << c.t.microseconds << " us";
}

TEST(TcpSocket, WithoutAConnectionEverythingIsCode4) {
  cTCPClient s;
  char buf[4];
  EXPECT_FALSE(s.IsOpen());
  EXPECT_EQ(s.LastError(), kSocketOk);
  EXPECT_EQ(s.Send("ab", 2), 0u);
  EXPECT_EQ(s.LastError(), kSocketClosed);
  s.Close();  // nothing open: no effect
  EXPECT_EQ(s.Receive(buf, 4, nullptr), 0u);
  EXPECT_EQ(s.LastError(), kSocketClosed);
  EXPECT_EQ(s.ReadExact(buf, 4), 0u);
}

// A stand-in connection that counts what ReadExact asks of Receive.
class CountingSocket : public cTCPSocket {
public:
  explicit CountingSocket(uint32_t available) : available_(available) {}
  uint32_t Receive(void* buffer, uint32_t length, const sSocketTimeout* timeout) override {
    asks.push_back(length);
    timeouts.push_back(timeout);
    const uint32_t n = length < available_ ? length : available_;
    std::memset(buffer, 'x', n);
    available_ -= n;
    return n;
  }
  std::vector<uint32_t> asks;
  std::vector<const sSocketTimeout*> timeouts;

private:
  uint32_t available_;
};

TEST(TcpSocket, ReadExactAsksInPiecesOfAtMost1024AndStopsAtZero) {
  std::vector<char> buf(5000);
  CountingSocket whole(5000);
  EXPECT_EQ(whole.ReadExact(buf.data(), 3000), 3000u);
  EXPECT_EQ(whole.asks, (std::vector<uint32_t>{1024, 1024, 952}));
  for (const auto* t : whole.timeouts) EXPECT_EQ(t, nullptr);

  CountingSocket shortOne(1500);
  EXPECT_EQ(shortOne.ReadExact(buf.data(), 5000), 1500u);
  EXPECT_EQ(shortOne.asks, (std::vector<uint32_t>{1024, 1024, 1024}));
}

TEST(TcpSocket, ConnectSendReceiveAndThePeersClose) {
  cTCPClient s;
  ASSERT_TRUE(s.Connect(kLoopback, Server().Port(), 20000)) << "code " << s.LastError();
  EXPECT_TRUE(s.IsOpen());
  EXPECT_EQ(s.LastError(), kSocketOk);
  EXPECT_EQ(s.PeerAddress().address[0], 127);
  EXPECT_EQ(s.PeerAddress().address[3], 1);

  const std::string answer = "hello, socket";
  ASSERT_TRUE(SendAll(s, "GET /send?hex=" + Hex(answer) + "&piece=3&pause=20 HTTP/1.1\r\nHost: x\r\n\r\n"));
  std::string got(answer.size(), '\0');
  EXPECT_EQ(s.ReadExact(got.data(), static_cast<uint32_t>(got.size())), answer.size());
  EXPECT_EQ(got, answer);
  // The server closes after the last byte.
  char c;
  EXPECT_EQ(s.Receive(&c, 1, nullptr), 0u);
  EXPECT_EQ(s.LastError(), kSocketClosed);
  s.Close();
  EXPECT_FALSE(s.IsOpen());
}

TEST(TcpSocket, ConnectToByName) {
  cTCPClient s;
  ASSERT_TRUE(s.ConnectTo("localhost", Server().Port())) << "code " << s.LastError();
  EXPECT_TRUE(s.IsOpen());
  // A second connect closes the first socket and opens a new one.
  ASSERT_TRUE(s.ConnectTo("127.0.0.1", Server().Port()));
  EXPECT_TRUE(s.IsOpen());
}

TEST(TcpSocket, ASilentPeerEndsTheReceiveWithCode5) {
  cTCPClient s;
  ASSERT_TRUE(s.Connect(kLoopback, Server().Port(), 20000));
  ASSERT_TRUE(SendAll(s, "GET /send?hex=41&hold=20 HTTP/1.1\r\n\r\n"));
  char c = 0;
  ASSERT_EQ(s.Receive(&c, 1, nullptr), 1u);
  EXPECT_EQ(c, 'A');
  const sSocketTimeout shortWait{0, 300000};
  EXPECT_EQ(s.Receive(&c, 1, &shortWait), 0u);
  EXPECT_EQ(s.LastError(), kSocketTimedOut);
  // The object's own time-out is used when none is given.
  s.SetReceiveTimeout({0, 200000});
  EXPECT_EQ(s.Receive(&c, 1, nullptr), 0u);
  EXPECT_EQ(s.LastError(), kSocketTimedOut);
}

TEST(TcpSocket, RefusedConnectFailsClosed) {
  cTCPClient s;
  EXPECT_FALSE(s.Connect(kLoopback, Server().ClosedPort(), 5000));
  // Refusal shows either at once (5) or through the wait (3), as the
  // platform reports it.
  EXPECT_TRUE(s.LastError() == kSocketConnectFailed || s.LastError() == kSocketTimedOut)
      << "code " << s.LastError();
  EXPECT_FALSE(s.IsOpen());
}

TEST(TcpSocket, AnUnansweredConnectTimesOutWithCode2) {
  // The listener never accepts; once its queue is full the system drops new
  // connection requests, so a connect waits until its time-out.
  std::vector<std::unique_ptr<cTCPClient>> held;
  int32_t code = kSocketOk;
  for (int i = 0; i < 16; ++i) {
    auto s = std::make_unique<cTCPClient>();
    if (!s->Connect(kLoopback, Server().FullBacklogPort(), 500)) {
      code = s->LastError();
      EXPECT_FALSE(s->IsOpen());
      break;
    }
    held.push_back(std::move(s));
  }
  EXPECT_EQ(code, kSocketConnectTimedOut);
}

TEST(TcpSocket, UnknownHostIsCode4) {
  cTCPClient s;
  EXPECT_FALSE(s.ConnectTo("no-such-host.invalid", 80));
  EXPECT_EQ(s.LastError(), kSocketClosed);
  EXPECT_FALSE(s.IsOpen());
}

TEST(TcpSocket, SendingToAClosedPeerFailsWithoutASignal) {
  cTCPClient s;
  ASSERT_TRUE(s.Connect(kLoopback, Server().Port(), 20000));
  ASSERT_TRUE(SendAll(s, "GET /send?hex=41 HTTP/1.1\r\n\r\n"));
  char c;
  ASSERT_EQ(s.Receive(&c, 1, nullptr), 1u);
  EXPECT_EQ(s.Receive(&c, 1, nullptr), 0u);
  EXPECT_EQ(s.LastError(), kSocketClosed);
  // The peer is gone: within a few sends the system reports the reset.
  std::vector<char> block(65536, 'z');
  bool failed = false;
  for (int i = 0; i < 200 && !failed; ++i) failed = s.Send(block.data(), static_cast<uint32_t>(block.size())) == 0;
  EXPECT_TRUE(failed);
  EXPECT_EQ(s.LastError(), kSocketCallFailed);
}

}  // namespace
