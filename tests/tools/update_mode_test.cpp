// The update mode's decisions without windows (quiet, so nothing is shown):
// which codenames and records it refuses, what the check's outcome makes of
// the exit code; and the download's file names.
#include <gtest/gtest.h>

#include <string>

#include "base/config_store.h"
#include "base/strings.h"
#include "tests/net/http_server.h"
#include "tests/support/test_support.h"
#include "tools/update_mode.h"

using twtest::U16;

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

// A check prefix whose answer announces version (or a 404 for "").
std::string PrefixAnnouncing(const std::string& version) {
  std::string wire = "HTTP/1.1 404 Not Found\r\nContent-Length: 0\r\n\r\n";
  if (!version.empty()) {
    const std::string body = version + "\r\nhttp://h/setup.exe\r\nhttp://h/\r\n";
    wire = "HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body;
  }
  return Server().Url("/send?hex=" + Hex(wire) + "&softwareid=");
}

class UpdateModeQuiet : public ::testing::Test {
protected:
  void SetUp() override {
    ASSERT_TRUE(store.Open(U16(tmp.path()).c_str()));
    ASSERT_TRUE(store.SetInt64("install/tarn-app/ver", (int64_t{2} << 48) | (int64_t{1} << 32)));  // 2.1
    ASSERT_TRUE(store.SetString("install/tarn-app/name", u"Tarn App", -1));
  }
  twtest::TempDir tmp;
  cCIAppConfig store;
};

TEST_F(UpdateModeQuiet, ExitCodesByCase) {
  const struct {
    const char* what;
    const char16_t* codename;
    std::string announced;  // "" : the check fails (404)
    int32_t exitCode;
  } cases[] = {
      {"the installed version again", u"tarn-app", "2.1", 0},
      {"an older version", u"tarn-app", "2.0.9", 0},
      {"a newer version (the offer cannot show here)", u"tarn-app", "2.1.0.1", 0},
      {"the check fails", u"tarn-app", "", 1},
      {"an empty codename", u"", "3.0", 1},
      {"a codename with '/'", u"tarn/app", "3.0", 1},
      {"no installation record", u"other-app", "3.0", 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(RunUpdateModeWith(&store, PrefixAnnouncing(c.announced).c_str(), c.codename, true), c.exitCode);
  }
  EXPECT_EQ(RunUpdateModeWith(&store, PrefixAnnouncing("3.0").c_str(), nullptr, true), 1);
  EXPECT_EQ(RunUpdateModeWith(nullptr, PrefixAnnouncing("3.0").c_str(), u"tarn-app", true), 1);
}

TEST(UpdateDownloadNames, SuggestedNameIsTheTextAfterTheLastSlash) {
  const struct {
    const char16_t* address;
    bool ok;
    const char16_t* name;
  } cases[] = {
      {u"http://h/files/setup.exe", true, u"setup.exe"},
      {u"http://h/get.php?file=setup.exe&v=2", true, u"get.php?file=setup.exe&v=2"},
      {u"http://h/", true, u""},
      {u"setup.exe", false, nullptr},
      {nullptr, false, nullptr},
  };
  for (const auto& c : cases) {
    _guardchar<char16_t> name;
    EXPECT_EQ(SuggestedDownloadName(c.address, name), c.ok);
    if (c.ok) {
      EXPECT_EQ(std::u16string(name.text), std::u16string(c.name));
    }
  }
  _guardchar<char16_t> side;
  DownloadSidePath(u"C:/Downloads/setup.exe", side);
  EXPECT_EQ(std::u16string(side.text), u"C:/Downloads/setup.exe.tmp");
}

}  // namespace
