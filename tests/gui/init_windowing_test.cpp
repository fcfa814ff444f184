// InitWindowing in a process of its own: the first call makes the toolkit's
// language provider and chooses the language; later calls do neither.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "gui/app.h"
#include "gui/language.h"
#include "gui/window_maker.h"

namespace {

std::vector<std::string> g_log;

class CountingMaker : public cWindowMaker {
public:
  explicit CountingMaker(bool registers) : registers_(registers) {}
  bool RegisterClasses(void*, intptr_t reserved, int32_t icon) override {
    g_log.push_back("register " + std::to_string(reserved) + " " + std::to_string(icon));
    return registers_;
  }
  int32_t RunModalForm(const char16_t*, int32_t, int32_t, cChildElement*, cWindowRequestTarget*,
                       bool) override {
    return -1;
  }

private:
  bool registers_;
};

using Log = std::vector<std::string>;

TEST(InitWindowing, ChoosesTheLanguageOnlyOnce) {
  // The first call in the process makes the toolkit's provider and, with no
  // language chosen yet, applies its default.
  ASSERT_EQ(GetCurrentLanguage(), kNoLanguage);
  CountingMaker maker(true);
  ASSERT_EQ(InitWindowing(nullptr, 0, 101, &maker), &maker);
  EXPECT_LT(GetCurrentLanguage(), kNoLanguage);
  EXPECT_EQ(maker.sectionMap, &GetLanguageSections());
  EXPECT_NE(GetLanguageSections().Find(u"wekt::cld"), nullptr);
  // A later call keeps the provider and the language.
  SetCurrentLanguage(2);
  CountingMaker second(true);
  ASSERT_EQ(InitWindowing(nullptr, 0, 101, &second), &second);
  EXPECT_EQ(GetCurrentLanguage(), 2);
  // A given factory that cannot register is not deleted here.
  CountingMaker refusing(false);
  g_log.clear();
  EXPECT_EQ(InitWindowing(nullptr, 0, 101, &refusing), nullptr);
  EXPECT_EQ(g_log, Log{"register 0 101"});
}

}  // namespace
