#include "tests/support/test_support.h"

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>

#include "base/buffers.h"
#include "base/strings.h"

namespace twtest {

std::u16string U16(const std::string& utf8) {
  _guardchar<char16_t> w;
  Utf8ToWide(-1, utf8.c_str(), w);
  return w.text != nullptr ? w.text : u"";
}

std::string ReadFileText(const std::string& path) {
  std::ifstream f(std::filesystem::u8path(path), std::ios::binary);
  if (!f) return "<missing>";
  return std::string((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
}

std::string SourcePath(std::string_view relative) {
  const char* root = std::getenv("TW_SOURCE_DIR");
  if (root == nullptr) throw std::runtime_error("TW_SOURCE_DIR is not set");
  std::string path(root);
#ifdef _WIN32
  if (!path.empty() && path[0] == '/') path = "Z:" + path;
#endif
  path += '/';
  path += relative;
  return path;
}

TempDir::TempDir() {
  static std::atomic<unsigned> serial{0};
  // Wine reuses process ids across runs: add time and a serial number.
  const auto now = std::chrono::steady_clock::now().time_since_epoch().count();
  std::filesystem::path base = std::filesystem::temp_directory_path();
  for (int attempt = 0; attempt < 100; ++attempt) {
    std::filesystem::path p = base / ("twtest-" + std::to_string(now) + "-" +
                                      std::to_string(serial.fetch_add(1)));
    std::error_code ec;
    if (std::filesystem::create_directory(p, ec)) {
      path_ = p.generic_string();
      return;
    }
  }
  throw std::runtime_error("cannot create a temporary folder");
}

TempDir::~TempDir() {
  std::error_code ec;
  std::filesystem::remove_all(path_, ec);
}

std::string Narrow(std::u16string_view s) {
  std::string out;
  for (char16_t c : s) {
    if (c < 0x80) {
      out += static_cast<char>(c);
    } else if (c < 0x800) {
      out += static_cast<char>(0xC0 | (c >> 6));
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
      out += static_cast<char>(0xE0 | (c >> 12));
      out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    }
  }
  return out;
}

}  // namespace twtest
