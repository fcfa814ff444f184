// Starts tests/net/http_server.py (see there for its requests) for one test
// program or benchmark and stops it again: the server runs on the build
// machine's Python, natively and for programs under Wine alike, and listens
// on loopback only. It stops by itself when the port file is deleted
// (destruction), when the starting process ends, or after its lifetime.
#pragma once

#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>
#include <thread>

#include "base/process.h"
#include "base/strings.h"
#include "base/guardchar.h"

namespace twtest {

class HttpTestServer {
public:
  // lifetimeSeconds bounds the server even if nothing stops it.
  explicit HttpTestServer(int lifetimeSeconds = 900) {
    const char* source = std::getenv("TW_SOURCE_DIR");
    const char* binary = std::getenv("TW_BINARY_DIR");
    if (source == nullptr) throw std::runtime_error("TW_SOURCE_DIR is not set");
    std::string folder = binary != nullptr ? binary : "/tmp";
    static int serial = 0;
    const auto now = std::chrono::steady_clock::now().time_since_epoch().count();
    unixPortFile_ = folder + "/net-server-" + std::to_string(now) + "-" + std::to_string(serial++) + ".port";
#ifdef _WIN32
    // Wine starts Unix programs given by their Unix path; files of the Unix
    // side are reached through drive Z:.
    const std::string python = "/usr/bin/python3";
    portFile_ = "Z:" + unixPortFile_;
#else
    const std::string python = "python3";
    portFile_ = unixPortFile_;
#endif
    const std::string command = python + " " + source + "/tests/net/http_server.py " + unixPortFile_ + " " +
                                std::to_string(lifetimeSeconds);
    _guardchar<char16_t> wide;
    Utf8ToWide(-1, command.c_str(), wide);
    if (!RunCommandLine(wide.text)) throw std::runtime_error("cannot start " + command);
    // Python may start slowly on a loaded machine: wait generously.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(120);
    while (std::chrono::steady_clock::now() < deadline) {
      std::ifstream f(portFile_);
      if (f >> port_ >> fullBacklogPort_ >> closedPort_) return;
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    throw std::runtime_error("the test HTTP server did not start: " + command);
  }
  ~HttpTestServer() {
    std::error_code ec;
    std::filesystem::remove(portFile_, ec);
  }
  HttpTestServer(const HttpTestServer&) = delete;
  HttpTestServer& operator=(const HttpTestServer&) = delete;

  uint16_t Port() const { return port_; }
  // A listener that never accepts: its queue is full after one connection.
  uint16_t FullBacklogPort() const { return fullBacklogPort_; }
  // A loopback port where nothing listens.
  uint16_t ClosedPort() const { return closedPort_; }
  // "http://127.0.0.1:<port>" followed by path.
  std::string Url(const std::string& path) const {
    return "http://127.0.0.1:" + std::to_string(port_) + path;
  }

private:
  std::string unixPortFile_;
  std::string portFile_;
  uint16_t port_ = 0;
  uint16_t fullBacklogPort_ = 0;
  uint16_t closedPort_ = 0;
};

// The body byte at offset i of the server's pattern bodies.
inline uint8_t PatternByte(uint64_t i) { return static_cast<uint8_t>((i ^ (i >> 8)) & 0xFF); }

}  // namespace twtest
