// The window host's window-free decisions: key routing, Alt state,
// clipboard format choice and child placement.
#include "gui/window_host_rules.h"

#include <gtest/gtest.h>

namespace {

using tw::eKeyRoute;

TEST(HostKeys, Routing) {
  struct Case {
    uint32_t key;
    bool control, alt;
    eKeyRoute route;
  };
  const Case cases[] = {
      {16, false, false, eKeyRoute::kSwallow},   // Shift alone
      {17, true, false, eKeyRoute::kSwallow},    // Control alone
      {18, false, true, eKeyRoute::kSwallow},    // Alt alone
      {115, false, true, eKeyRoute::kDefault},   // Alt+F4
      {115, false, false, eKeyRoute::kKey},      // F4
      {116, false, false, eKeyRoute::kKey},      // F5
      {65, true, false, eKeyRoute::kKey},        // Ctrl+A
      {65, false, false, eKeyRoute::kTranslate}, // A
      {65, false, true, eKeyRoute::kTranslate},  // Alt+A still asks the layout
      {32, false, false, eKeyRoute::kTranslate}, // Space
      {13, false, false, eKeyRoute::kKey},       // Enter
      {9, false, false, eKeyRoute::kKey},        // Tab
      {37, false, false, eKeyRoute::kKey},       // Left
  };
  for (const Case& c : cases)
    EXPECT_EQ(tw::RouteKeyDown(c.key, c.control, c.alt), c.route) << "key " << c.key;
}

TEST(HostKeys, PrintableRanges) {
  struct Case {
    uint32_t key;
    bool printable;
  };
  const Case cases[] = {{31, false}, {32, true},  {47, false}, {48, true},  {57, true},
                        {58, false}, {64, false}, {65, true},  {90, true},  {91, false},
                        {95, false}, {96, true},  {111, true}, {112, false}, {185, false},
                        {186, true}, {192, true}, {193, false}, {218, false}, {219, true},
                        {228, true}, {229, false}};
  for (const Case& c : cases) EXPECT_EQ(tw::IsPrintableKey(c.key), c.printable) << c.key;
}

TEST(HostKeys, TranslatedCalls) {
  tw::sKeyCall calls[2];
  // Shift+A: the layout's capital letter, then Key(65) with shift.
  ASSERT_EQ(tw::TranslatedKeyCalls(65, 1, u'A', true, false, calls), 2);
  EXPECT_TRUE(calls[0].isChar);
  EXPECT_EQ(calls[0].code, static_cast<uint32_t>(u'A'));
  EXPECT_TRUE(calls[0].shift);
  EXPECT_FALSE(calls[1].isChar);
  EXPECT_EQ(calls[1].code, 65u);
  EXPECT_FALSE(calls[1].control);
  // A dead key (-1) or nothing (0): the virtual key stands in for the character.
  for (int32_t produced : {0, -1}) {
    ASSERT_EQ(tw::TranslatedKeyCalls(222, produced, u'x', false, true, calls), 2);
    EXPECT_EQ(calls[0].code, 222u);
    EXPECT_TRUE(calls[0].alt);
  }
  // Two characters at once (a dead key followed by one it cannot combine with): nothing.
  EXPECT_EQ(tw::TranslatedKeyCalls(65, 2, u'a', false, false, calls), 0);
}

TEST(HostKeys, AltState) {
  int32_t s = 0;
  s = tw::AltStateAfterSysKeyDown(s, 18);
  EXPECT_EQ(s, 1);  // Alt pressed
  s = tw::AltStateAfterSysKeyDown(s, 18);
  EXPECT_EQ(s, 1);  // auto-repeat keeps it
  s = tw::AltStateAfterSysKeyDown(s, 70);
  EXPECT_EQ(s, 2);  // Alt+F: used with another key
  s = tw::AltStateAfterSysKeyDown(s, 71);
  EXPECT_EQ(s, 2);
  EXPECT_EQ(tw::AltStateAfterSysKeyDown(0, 121), 0);  // F10 alone does not start it
}

TEST(HostClipboard, RawFormatChoice) {
  const uint32_t raw = 0xC123;
  struct Case {
    uint32_t format;
    bool skipOnly;
    bool taken;
  };
  const Case cases[] = {
      {1, false, true},        {13, false, true},      {2, false, false},   {9, true, false},
      {0x94, false, false},    {0x94, true, true},     {0x300, false, false}, {0x3FF, false, false},
      {0x400, false, true},    {0x2FF, false, true},   {0xC302, false, false}, {raw, false, true},
      {0x1002, false, false},  // low 12 bits are CF_BITMAP
  };
  for (const Case& c : cases)
    EXPECT_EQ(tw::IsRawCandidate(c.format, raw, c.skipOnly), c.taken) << std::hex << c.format;
}

TEST(HostClipboard, TextBlockRunsToFirstZero) {
  const uint8_t block[10] = {'a', 'b', 'c', 0, 'x', 'y', 0, 0, 0, 0};
  EXPECT_EQ(tw::ClipboardBlockBytes(1, block, 10), 4u);
  EXPECT_EQ(tw::ClipboardBlockBytes(13, block, 10), 10u);  // UTF-16 text: the whole block
  const uint8_t unterminated[3] = {'a', 'b', 'c'};
  EXPECT_EQ(tw::ClipboardBlockBytes(1, unterminated, 3), 3u);
}

TEST(HostPlacement, ChildFormCentredOverOwner) {
  const sPoint p = tw::CentreOverOwner(sRect{100, 100, 600, 400}, 200, 100, 20);
  EXPECT_EQ(p, (sPoint{300, 240}));
  // A caption outside 0..100 counts as none.
  EXPECT_EQ(tw::CentreOverOwner(sRect{0, 0, 400, 300}, 200, 100, 150), (sPoint{100, 100}));
  EXPECT_EQ(tw::CentreOverOwner(sRect{0, 0, 400, 300}, 200, 100, -1), (sPoint{100, 100}));
}

}  // namespace
