// Reading of the test-vector files in tests/crypto/data: NIST CAVP ".rsp"
// files and the RFC extracts in the same "Name = value" form.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "crypto/aes_internal.h"
#include "tests/support/test_support.h"

namespace twtest {

using Bytes = std::vector<uint8_t>;

// One record: its fields, plus "[name]" entries for the bracketed section
// headers in force ("[ENCRYPT]" is stored as "[]" = "ENCRYPT", "[L = 32]"
// as "[L]" = "32"). A bare word line such as FAIL is a field with no value.
using Record = std::map<std::string, std::string>;

inline std::string Trim(const std::string& s) {
  size_t b = 0, e = s.size();
  while (b < e && (s[b] == ' ' || s[b] == '\t' || s[b] == '\r')) ++b;
  while (e > b && (s[e - 1] == ' ' || s[e - 1] == '\t' || s[e - 1] == '\r')) --e;
  return s.substr(b, e - b);
}

// A new record starts at every line whose name is startKey.
inline std::vector<Record> ReadVectors(const std::string& dataFile, const std::string& startKey) {
  std::ifstream in(SourcePath("tests/crypto/data/" + dataFile), std::ios::binary);
  EXPECT_TRUE(in.good()) << "cannot open " << dataFile;
  std::vector<Record> records;
  Record section;
  std::string line;
  bool open = false;
  while (std::getline(in, line)) {
    line = Trim(line);
    if (line.empty() || line[0] == '#') continue;
    if (line.front() == '[' && line.back() == ']') {
      const std::string inner = line.substr(1, line.size() - 2);
      const size_t eq = inner.find('=');
      if (eq == std::string::npos) {
        section.clear();  // a new [ENCRYPT] / [DECRYPT] block
        section["[]"] = Trim(inner);
      } else {
        section["[" + Trim(inner.substr(0, eq)) + "]"] = Trim(inner.substr(eq + 1));
      }
      continue;
    }
    const size_t eq = line.find('=');
    const std::string name = Trim(line.substr(0, eq));
    const std::string value = eq == std::string::npos ? std::string() : Trim(line.substr(eq + 1));
    if (name == startKey) {
      records.push_back(section);
      open = true;
    }
    if (open) records.back()[name] = value;
  }
  return records;
}

inline Bytes Hex(const std::string& s) {
  Bytes out;
  for (size_t i = 0; i + 1 < s.size(); i += 2) out.push_back(uint8_t(std::stoul(s.substr(i, 2), nullptr, 16)));
  return out;
}

inline std::string ToHex(const void* p, size_t n) {
  static const char digits[] = "0123456789abcdef";
  std::string s;
  const uint8_t* b = static_cast<const uint8_t*>(p);
  for (size_t i = 0; i < n; ++i) {
    s += digits[b[i] >> 4];
    s += digits[b[i] & 15];
  }
  return s;
}
inline std::string ToHex(const Bytes& b) { return ToHex(b.data(), b.size()); }

// A field that must be present; fails the test with the record's position.
inline const std::string& Field(const Record& r, const std::string& name) {
  static const std::string none;
  const auto it = r.find(name);
  EXPECT_NE(it, r.end()) << "missing field " << name;
  return it == r.end() ? none : it->second;
}

// The AES paths this processor can run: the AES instructions where present,
// and the table code always. Tests of known vectors run once per path.
struct AesPath {
  const char* name;
  bool portable;  // force the table code
};
inline std::vector<AesPath> AesPaths() {
  std::vector<AesPath> paths;
  if (tw::crypto::AesHardwareAvailable()) paths.push_back({"AES-NI and PCLMULQDQ", false});
  paths.push_back({"tables", true});
  return paths;
}
// Selects a path for its lifetime, then restores the previous choice.
class AesPathScope {
public:
  explicit AesPathScope(const AesPath& path)
      : before_(tw::crypto::AesForcePortable(path.portable)), trace_(__FILE__, __LINE__, path.name) {}
  ~AesPathScope() { tw::crypto::AesForcePortable(before_); }
  AesPathScope(const AesPathScope&) = delete;
  AesPathScope& operator=(const AesPathScope&) = delete;

private:
  bool before_;
  ::testing::ScopedTrace trace_;
};

}  // namespace twtest
