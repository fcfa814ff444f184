// The folder chooser over temporary folders: the start path, opening typed
// paths component by component, the Select rules, the computer node, when
// a folder is read again, new folders with their messages, the context
// menu, and ChooseFolder's answers.
#include "gui/dialogs/folder_chooser.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "base/paths.h"
#include "gui/dialogs/file_chooser.h"
#include "tests/controls/control_fixture.h"
#include "tests/support/test_support.h"

namespace {

using twtest::cTestHost;
using twtest::Narrow;
using twtest::U16;
using tNode = cFolderChooseDialog::cTreeFoldersContentItem;

std::u16string Str(const char16_t* s) { return s != nullptr ? s : u""; }

struct FolderFixture {
  twtest::TempDir tmp;
  std::u16string root = U16(tmp.path());
  _guardchar<char16_t> result;
  cTestHost host;
  cFolderChooseDialog* dialog = nullptr;

  FolderFixture() {
    EXPECT_TRUE(twtest::UseEnglish());
    for (const char16_t* d : {u"/one", u"/one/two", u"/one/two/three", u"/beta", u"/.hid", u"/Zed"})
      EXPECT_TRUE(CreateDirectoryLong((root + d).c_str()));
    std::ofstream(std::filesystem::path(root + u"/file.txt")) << "x";
  }
  void Open(const std::u16string& start) {
    result.Assign(start.c_str());
    dialog = new cFolderChooseDialog(&result);
    host.Host(dialog, 500, 600);
    host.Pump();
  }
  // The texts of a node's children in tree order.
  static std::vector<std::u16string> Children(tNode* node) {
    std::vector<std::u16string> out;
    for (cTreeItem* c = node != nullptr ? node->firstChild : nullptr; c != nullptr; c = c->next)
      out.push_back(Str(static_cast<tNode*>(c)->item->text.text));
    return out;
  }
  static tNode* Child(tNode* node, const std::u16string& text) {
    for (cTreeItem* c = node != nullptr ? node->firstChild : nullptr; c != nullptr; c = c->next)
      if (Str(static_cast<tNode*>(c)->item->text.text) == text) return static_cast<tNode*>(c);
    return nullptr;
  }
  // The user selects node's tree item.
  void Pick(tNode* node) {
    dialog->Tree().PostAction(new cTreeViewChild::cTreeItemAction(8, node->item));
    host.Pump();
  }
  void Enter(const std::u16string& typed) {
    dialog->PathEdit().SetEditText(typed.c_str(), -1);
    dialog->Key(13, false, false, false);
    host.Pump();
  }
  bool NewFolderEnabled() {
    return dialog->TopBar().GetButton(1)->IsEnabled() && dialog->NewFolderBar().GetButton(1)->IsEnabled();
  }
};

TEST(FolderChooser, StartPathOpensEveryComponent) {
  FolderFixture f;
  f.Open(f.root + u"/one/two");
  EXPECT_EQ(Str(f.result.text), f.root + u"/one/two");
  EXPECT_EQ(Str(f.dialog->PathEdit().GetText()), f.root + u"/one/two");
  tNode* current = f.dialog->Current();
  ASSERT_NE(current, nullptr);
  EXPECT_EQ(Str(current->path.text), f.root + u"/one/two");
  EXPECT_EQ(f.dialog->Tree().GetSelected(), current->item);
  EXPECT_EQ(FolderFixture::Children(current), (std::vector<std::u16string>{u"three"}));
  // Every ancestor is a listed prefix of the path, up to the computer.
  tNode* n = current;
  for (; n->parent != nullptr; n = static_cast<tNode*>(n->parent)) {
    EXPECT_EQ(n->listed, 1) << Narrow(Str(n->path.text));
    EXPECT_EQ((f.root + u"/one/two").rfind(Str(n->path.text), 0), 0u) << Narrow(Str(n->path.text));
  }
  EXPECT_EQ(n, f.dialog->Root());
  EXPECT_EQ(n->kind, cFolderChooseDialog::kKindComputer);
  EXPECT_EQ(Str(n->item->text.text), u"Computer");
  // Folders only, hidden ones left out, sorted by name.
  tNode* rootNode = static_cast<tNode*>(current->parent->parent);
  EXPECT_EQ(Str(rootNode->path.text), f.root);
  EXPECT_EQ(FolderFixture::Children(rootNode), (std::vector<std::u16string>{u"Zed", u"beta", u"one"}));
  EXPECT_TRUE(f.NewFolderEnabled());
}

TEST(FolderChooser, StartPathRules) {
  struct sCase {
    const char* name;
    std::u16string start;   // relative to root
    bool opens;             // the root folder is opened, else nothing is
  } const cases[] = {
      {"a file starts in its folder", u"/file.txt", true},
      {"a missing path opens nothing", u"/missing", false},
      {"a missing file's folder is not used", u"/missing.txt", false},
  };
  for (const sCase& c : cases) {
    FolderFixture f;
    f.Open(f.root + c.start);
    EXPECT_EQ(Str(f.result.text), c.opens ? f.root : u"") << c.name;
    EXPECT_EQ(f.NewFolderEnabled(), c.opens) << c.name;
    EXPECT_EQ(f.dialog->Current() != nullptr, c.opens) << c.name;
  }
}

TEST(FolderChooser, TypedPathThenSecondEnterEnds) {
  FolderFixture f;
  f.Open(f.root);
  f.Enter(u"\"" + f.root + u"\\one\\two\\three\"");
  EXPECT_FALSE(f.host.ended) << "the first Enter opens the path";
  EXPECT_EQ(Str(f.result.text), f.root + u"/one/two/three");
  EXPECT_EQ(Str(f.dialog->Current()->path.text), f.root + u"/one/two/three");
  f.Enter(f.root + u"/nowhere");
  EXPECT_EQ(Str(f.result.text), f.root + u"/one/two/three") << "a missing folder changes nothing";
  f.Enter(f.root + u"/one/two/three");
  EXPECT_TRUE(f.host.ended);
  EXPECT_EQ(f.host.endCode, 1);
}

TEST(FolderChooser, ComputerNodeEmptiesTheResult) {
  FolderFixture f;
  f.Open(f.root);
  tNode* rootNode = f.dialog->Current();
  ASSERT_NE(rootNode, nullptr);
  f.Pick(f.dialog->Root());
  EXPECT_EQ(f.dialog->Current(), f.dialog->Root());
  EXPECT_EQ(Str(f.result.text), u"");
  EXPECT_FALSE(f.NewFolderEnabled());
  f.dialog->Key(13, false, false, false);
  f.host.Pump();
  EXPECT_FALSE(f.host.ended) << "Select does nothing without a folder";
  // Picking a folder again takes its path.
  f.Pick(FolderFixture::Child(rootNode, u"beta"));
  EXPECT_EQ(Str(f.result.text), f.root + u"/beta");
  EXPECT_EQ(Str(f.dialog->PathEdit().GetText()), f.root + u"/beta");
  EXPECT_TRUE(f.NewFolderEnabled());
}

TEST(FolderChooser, FolderIsReadOnceBySelectionAgainBySelectPath) {
  FolderFixture f;
  f.Open(f.root);
  tNode* rootNode = f.dialog->Current();
  tNode* beta = FolderFixture::Child(rootNode, u"beta");
  ASSERT_NE(beta, nullptr);
  EXPECT_EQ(beta->listed, 0);
  f.Pick(beta);
  EXPECT_EQ(beta->listed, 1);
  ASSERT_TRUE(CreateDirectoryLong((f.root + u"/beta/late").c_str()));
  f.Pick(rootNode);
  f.Pick(beta);
  EXPECT_TRUE(FolderFixture::Children(beta).empty()) << "not read a second time";
  // SelectPath reads every folder on the way, so the nodes are new.
  f.dialog->SelectPath((f.root + u"/beta").c_str());
  beta = f.dialog->Current();
  EXPECT_EQ(Str(beta->path.text), f.root + u"/beta");
  EXPECT_EQ(FolderFixture::Children(beta), (std::vector<std::u16string>{u"late"}));
  cTreeViewChild::cTreeViewItem* stale = FolderFixture::Child(beta, u"late")->item;
  // A folder the listing does not show gets a node titled with its whole
  // path.
  f.dialog->SelectPath((f.root + u"/.hid").c_str());
  rootNode = static_cast<tNode*>(f.dialog->Current()->parent);
  tNode* hidden = FolderFixture::Child(rootNode, f.root + u"/.hid");
  ASSERT_NE(hidden, nullptr);
  EXPECT_EQ(f.dialog->Current(), hidden);
  // A selection posted for an item that a listing has replaced since is
  // ignored.
  f.dialog->Tree().PostAction(new cTreeViewChild::cTreeItemAction(8, stale));
  f.host.Pump();
  EXPECT_EQ(Str(f.result.text), f.root + u"/.hid");
}

TEST(FolderChooser, NewFolder) {
  struct sCase {
    const char16_t* name;
    const char16_t* message;  // the message's title, or null
    std::u16string current;   // relative to root
  } const cases[] = {
      {u"made", nullptr, u"/made"},
      {u"beta", u"Warning", u""},
      {u"file.txt", u"Error", u""},
  };
  for (const sCase& c : cases) {
    FolderFixture f;
    f.Open(f.root);
    f.host.QueueModalScript([&](cTestHost& nested, cChildElement* form) {
      auto* ask = static_cast<cNewFolderNameReqForm*>(form);
      nested.Pump();
      ask->Edit().SetEditText(c.name, -1);
      ask->Key(13, false, false, false);
    });
    if (c.message != nullptr) f.host.QueueModalScript([](cTestHost&, cChildElement*) {});
    f.dialog->NewFolderBar().PostAction(new cToolBarChild::cTbButtonAction(1));
    f.host.Pump();
    ASSERT_EQ(f.host.modalTitles.size(), c.message != nullptr ? 2u : 1u) << Narrow(c.name);
    if (c.message != nullptr) EXPECT_EQ(f.host.modalTitles[1], Str(c.message));
    EXPECT_EQ(Str(f.result.text), f.root + c.current) << Narrow(c.name);
    EXPECT_EQ(Str(f.dialog->Current()->path.text), f.root + c.current) << Narrow(c.name);
  }
}

TEST(FolderChooser, ContextMenuCreatesInThatFolder) {
  FolderFixture f;
  f.Open(f.root);
  tNode* one = FolderFixture::Child(f.dialog->Current(), u"one");
  ASSERT_NE(one, nullptr);
  f.host.QueueModalScript([](cTestHost& nested, cChildElement* popup) {
    nested.Pump();
    popup->EndModal(1);
  });
  f.host.QueueModalScript([](cTestHost& nested, cChildElement* form) {
    nested.Pump();
    static_cast<cNewFolderNameReqForm*>(form)->Edit().SetEditText(u"inner", -1);
    form->Key(13, false, false, false);
  });
  f.dialog->Tree().PostAction(new cTreeViewChild::cTreeItemCtxAction(one->item, 5, 5));
  f.host.Pump();
  EXPECT_EQ(GetPathKind((f.root + u"/one/inner").c_str()), tw::kPathDirectory);
  EXPECT_EQ(Str(f.result.text), f.root + u"/one/inner");
  // The computer node has no menu.
  f.dialog->Tree().PostAction(new cTreeViewChild::cTreeItemCtxAction(f.dialog->Root()->item, 5, 5));
  f.host.Pump();
  EXPECT_EQ(f.host.modalTitles.size(), 1u);
}

TEST(FolderChooser, ChooseFolderAnswers) {
  FolderFixture f;
  twtest::sControlFixture owner;
  _guardchar<char16_t> path;
  path.Assign((f.root + u"/one").c_str());
  owner.host.QueueModalScript([&](cTestHost& nested, cChildElement* form) {
    nested.Pump();
    auto* d = static_cast<cFolderChooseDialog*>(form);
    d->BottomBar().PostAction(new cToolBarChild::cTbButtonAction(1));
    nested.Pump();
  });
  EXPECT_TRUE(ChooseFolder(owner.top, u"Pick", &path));
  EXPECT_EQ(Str(path.text), f.root + u"/one");
  EXPECT_EQ(owner.host.modalTitles.at(0), u"Pick");
  owner.host.QueueModalScript([&](cTestHost& nested, cChildElement* form) {
    nested.Pump();
    static_cast<cFolderChooseDialog*>(form)->BottomBar().PostAction(new cToolBarChild::cTbButtonAction(2));
    nested.Pump();
  });
  EXPECT_FALSE(ChooseFolder(owner.top, u"Pick", &path));
  EXPECT_FALSE(ChooseFolder(nullptr, u"Pick", &path));
  EXPECT_FALSE(ChooseFolder(owner.top, u"Pick", nullptr));
}

}  // namespace
