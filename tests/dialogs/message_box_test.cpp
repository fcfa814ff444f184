// The message box: cutting the text into lines, the form's size (never
// narrower than its buttons), the heading's look and the answers of the
// question wrappers for every way of ending the dialog.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "gui/dialogs/message_box.h"
#include "gui/theme.h"
#include "tests/controls/control_fixture.h"
#include "tests/dialogs/dialog_layout.h"

namespace {

using twtest::cTestHost;
using twtest::sControlFixture;

std::vector<std::u16string> Lines(cMessageForm& form) {
  std::vector<std::u16string> out;
  for (cListItem* i = form.Lines().head; i != nullptr; i = i->next) {
    auto* item = static_cast<cMessageForm::cStrTokenItem*>(i);
    out.push_back(item->line.text != nullptr ? item->line.text : u"");
  }
  return out;
}

TEST(MessageBox, SplitsLinesTable) {
  struct sCase {
    const char16_t* text;
    std::vector<std::u16string> lines;
  } const cases[] = {
      {u"", {}},
      {u"one", {u"one"}},
      {u"one\n", {u"one"}},
      {u"\n", {u""}},
      {u"a\n\nb", {u"a", u"", u"b"}},
      {u"a\r\nb\n\n", {u"a\r", u"b", u""}},
  };
  for (const sCase& c : cases) {
    cMessageForm form(kMessageInfo, kMessageOneButton);
    form.SplitLines(c.text);
    EXPECT_EQ(Lines(form), c.lines) << std::string(c.text, c.text + std::char_traits<char16_t>::length(c.text));
  }
}

TEST(MessageBox, SizeFollowsTextButNeverCutsTheButtons) {
  ASSERT_TRUE(twtest::UseEnglish());
  sControlFixture f;
  const int32_t side = GetTheme()->GetMetric(1), right = GetTheme()->GetMetric(9);
  for (int32_t kind : {kMessageOneButton, kMessageTwoButtons}) {
    cMessageForm sizer(kMessageQuestion, kind);
    const int32_t least = sizer.ButtonBarWidth(f.top) + 2 * side + right + 5;
    // The captions count: "Yes" and "No", or "Ok", beside their pictures.
    const int32_t pictures = kind == kMessageTwoButtons
                                 ? GetTheme()->GetPicture(77)->GetWidth() + GetTheme()->GetPicture(78)->GetWidth() + 32
                                 : GetTheme()->GetPicture(77)->GetWidth() + 16;
    ASSERT_GT(sizer.ButtonBarWidth(f.top), pictures);
    // Empty and short texts: the button bar decides the width.
    for (const char16_t* text : {u"", u"Go?"}) {
      cMessageForm form(kMessageQuestion, kind);
      form.SplitLines(text);
      const sSize size = form.ComputeSize(f.top);
      EXPECT_GE(size.width, least);
      EXPECT_EQ(size.height, text[0] == 0 ? 105 : 115);
    }
    // A long text decides it itself.
    cMessageForm form(kMessageInfo, kind);
    std::u16string wide(200, u'W');
    form.SplitLines((u"Head\n" + wide + u"\nthird").c_str());
    const sSize size = form.ComputeSize(f.top);
    sSize measured;
    ASSERT_TRUE(f.top->MeasureText(wide.c_str(), &measured, f.top->GetDefaultFont()));
    EXPECT_EQ(size.width, std::max(measured.width + 30, least));
    EXPECT_EQ(size.height, 115 + static_cast<int32_t>(form.GetLineHeight() * 2 * 1.5));
  }
}

// Each way of ending a question, and what AskQuestion answers.
TEST(MessageBox, QuestionAnswers) {
  ASSERT_TRUE(twtest::UseEnglish());
  struct sCase {
    const char* name;
    std::function<void(cTestHost&, cMessageForm*)> act;
    bool answer;
  } const cases[] = {
      {"yes button", [](cTestHost& h, cMessageForm* m) {
         m->ButtonBar().PostAction(new cToolBarChild::cTbButtonAction(1));
         h.Pump();
       }, true},
      {"no button", [](cTestHost& h, cMessageForm* m) {
         m->ButtonBar().PostAction(new cToolBarChild::cTbButtonAction(2));
         h.Pump();
       }, false},
      {"enter", [](cTestHost&, cMessageForm* m) { m->Key(13, false, false, false); }, true},
      {"escape", [](cTestHost&, cMessageForm* m) { m->Key(27, false, false, false); }, false},
      {"closed", [](cTestHost&, cMessageForm*) {}, false},
  };
  for (const sCase& c : cases) {
    sControlFixture f;
    bool seenButtons = false;
    f.host.QueueModalScript([&](cTestHost& nested, cChildElement* form) {
      auto* m = static_cast<cMessageForm*>(form);
      nested.Pump();
      seenButtons = m->ButtonBar().GetButton(1) != nullptr && m->ButtonBar().GetButton(2) != nullptr;
      c.act(nested, m);
    });
    EXPECT_EQ(AskQuestion(f.top, u"Delete the file?", nullptr), c.answer) << c.name;
    EXPECT_TRUE(seenButtons) << c.name;
    ASSERT_EQ(f.host.modalTitles.size(), 1u);
    EXPECT_EQ(f.host.modalTitles[0], u"Confirm");
  }
}

TEST(MessageBox, HeadingIsBoldInTheHeadingColourAndButtonsFit) {
  ASSERT_TRUE(twtest::UseEnglish());
  sControlFixture f;
  f.host.QueueModalScript([&](cTestHost& nested, cChildElement* form) {
    auto* m = static_cast<cMessageForm*>(form);
    nested.Pump();
    auto* heading = static_cast<cMessageForm::cStrTokenItem*>(m->Lines().head);
    ASSERT_NE(heading, nullptr);
    EXPECT_EQ(heading->label.GetParent(), m->GetClientPanel());
    EXPECT_EQ(heading->label.GetX(), 42);
    cButtonChild* ok = m->ButtonBar().GetButton(1);
    ASSERT_NE(ok, nullptr);
    EXPECT_STREQ(reinterpret_cast<const char*>(std::u16string(ok->GetText()).c_str()),
                 reinterpret_cast<const char*>(std::u16string(u"Ok").c_str()));
    // The whole bar lies inside the form.
    EXPECT_GE(m->ButtonBar().GetX(), 0);
    EXPECT_LE(m->ButtonBar().GetX() + m->ButtonBar().GetWidth(), m->GetWidth());
    EXPECT_GE(m->ButtonBar().GetY(), 0);
    nested.Pump();
    m->Key(13, false, false, false);
  });
  EXPECT_EQ(ShowInfoMessage(f.top, u"Hi", nullptr), 1);
  EXPECT_EQ(f.host.modalTitles.at(0), u"Information");
  EXPECT_EQ(ShowInfoMessage(nullptr, u"x", nullptr), 0);
  EXPECT_EQ(ShowInfoMessage(f.top, nullptr, nullptr), 0);
}

// The buttons sit at the bottom right at their full size, also when the
// form gets its final size only after it was created (as under Windows).
TEST(MessageBox, ButtonBarFollowsTheBottomRightCorner) {
  ASSERT_TRUE(twtest::UseEnglish());
  for (bool two : {false, true}) {
    sControlFixture f;
    f.host.QueueModalScript([&](cTestHost& nested, cChildElement* form) {
      auto* m = static_cast<cMessageForm*>(form);
      nested.Pump();
      const int32_t w = form->GetWidth(), h = form->GetHeight();
      const sSize sizes[] = {{w, h}, {w + 90, h + 40}, {w + 7, h + 3}};
      for (const sSize& size : sizes) {
        form->Resize(size.width, size.height, false);
        EXPECT_EQ(twtest::CheckMessageBoxLayout(m, two), "")
            << (two ? "Yes/No" : "Ok") << " at " << size.width << " x " << size.height;
      }
      m->Key(13, false, false, false);
    });
    if (two)
      EXPECT_TRUE(AskQuestion(f.top, u"Go?", nullptr));
    else
      EXPECT_EQ(ShowInfoMessage(f.top, u"Go", nullptr), 1);
  }
}

}  // namespace
