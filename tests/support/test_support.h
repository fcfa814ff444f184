// Helpers shared by the tests of both targets.
#pragma once

#include <string>
#include <string_view>

namespace twtest {

// Path of a file in the source tree (TW_SOURCE_DIR), in the form the target's
// file functions take: under Wine the Unix path is reached through drive Z:.
std::string SourcePath(std::string_view relative);

// A fresh empty folder for one test, removed with its content on destruction.
class TempDir {
public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::string& path() const { return path_; }  // '/'-separated, no trailing '/'

private:
  std::string path_;
};

// UTF-16 of UTF-8 text through the library's own Utf8ToWide (empty when it
// gives nothing), for building paths and expected values.
std::u16string U16(const std::string& utf8);

// The bytes of the file at path (UTF-8), or "<missing>" when it cannot be
// opened.
std::string ReadFileText(const std::string& path);

// UTF-8 view of UTF-16 text for failure messages (plain units, no validation).
std::string Narrow(std::u16string_view s);

}  // namespace twtest
