#include <gtest/gtest.h>

#include <QApplication>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QTreeView>
#include <string>
#include <utility>
#include <vector>

#include "app/profile/ini_file.h"
#include "app/traffic/assign_alias_dialog.h"
#include "app/traffic/configure_aliases_window.h"
#include "app/ui/list_models.h"
#include "support/scratch_directory.h"
#include "ui_test_support.h"

namespace kestrel {
namespace {

using kestrel_test::DeleteClosedWindows;
using kestrel_test::Find;
using Pairs = std::vector<std::pair<std::string, std::string>>;

std::string Text(const QModelIndex& index) { return index.data().toString().toStdString(); }

// What a list shows, row by row.
Pairs Rows(const QAbstractItemModel* model) {
  Pairs rows;
  for (int r = 0; r < model->rowCount(); ++r)
    rows.emplace_back(Text(model->index(r, 0)), Text(model->index(r, 1)));
  return rows;
}

Pairs AllPairs(const TerminalAliases& aliases) {
  Pairs pairs;
  std::string terminal, alias;
  for (int i = 1; aliases.GetAliasEntry(i, terminal, alias); ++i)
    pairs.emplace_back(terminal, alias);
  return pairs;
}

// ---- The main window's Terminals rows ----

TEST(TerminalsModelSetAlias, SetsEveryRowOfTheTerminalOnly) {
  TerminalsModel model;
  model.Append(TerminalsModel::kAll, "");
  model.Append("0A1B", "");
  model.Append("0C00", "Dispatch");
  model.Append("0a1b", "");
  QSignalSpy changed(&model, &QAbstractItemModel::dataChanged);

  EXPECT_EQ(model.SetAlias("0A1B", "Unit 7"), 1);
  EXPECT_EQ(Rows(&model),
            (Pairs{{"<all>", ""}, {"0A1B", "Unit 7"}, {"0C00", "Dispatch"}, {"0a1b", ""}}));
  ASSERT_EQ(changed.count(), 1);
  EXPECT_EQ(changed[0][0].toModelIndex(), model.index(1, 1));

  EXPECT_EQ(model.SetAlias("0C00", ""), 1);
  EXPECT_EQ(Text(model.index(2, 1)), "");
  EXPECT_EQ(model.SetAlias("0D00", "nobody"), 0);
  EXPECT_EQ(model.SetAlias(TerminalsModel::kAll, "not the all row"), 0);
  EXPECT_EQ(Text(model.index(0, 1)), "");
  EXPECT_EQ(changed.count(), 2);
}

// ---- The windows ----

class AliasWindowsTest : public ::testing::Test {
 protected:
  AliasWindowsTest() {
    terminals_.Append(TerminalsModel::kAll, "");
    terminals_.Append("0A1B", "");
    terminals_.Append("0C00", "");
    windows_ = new AliasWindows(
        aliases_, settings_, boxes_, &main_window_,
        [this](const std::string& terminal, const std::string& alias, AliasChange change) {
          told_.emplace_back(terminal, alias);
          changes_.push_back(change);
          terminals_.SetAlias(terminal, alias);
        });
    windows_->SetFileQuestion([this](const std::string& title, const std::string& proposed,
                                     const std::string& filter, const std::string& suffix) {
      asked_.push_back(title + " | " + proposed + " | " + filter + " | " + suffix);
      return answer_;
    });
  }
  ~AliasWindowsTest() override {
    delete windows_.data();
    DeleteClosedWindows();
  }

  ConfigureAliasesWindow* OpenConfigure() {
    windows_->ShowConfigureWindow();
    ConfigureAliasesWindow* window = windows_->ConfigureWindow();
    EXPECT_NE(window, nullptr);
    return window;
  }
  template <class T>
  T* In(QObject* parent, const char* name) {
    return Find<T>(parent, name);
  }
  QTreeView* List() { return In<QTreeView>(windows_->ConfigureWindow(), "Terminals"); }
  void ClickRow(int row) {
    QTreeView* list = List();
    const QRect rect = list->visualRect(list->model()->index(row, 0));
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, rect.center());
  }
  void Click(QObject* parent, const char* name) { In<QPushButton>(parent, name)->click(); }
  // Fills the open Assign dialog and presses OK.
  void AnswerAssign(const QString& terminal, const QString& alias) {
    AssignAliasDialog* dialog = windows_->AssignDialog();
    ASSERT_NE(dialog, nullptr);
    In<QLineEdit>(dialog, "Terminal")->setText(terminal);
    In<QLineEdit>(dialog, "Alias")->setText(alias);
    Click(dialog, "OKButton");
    DeleteClosedWindows();
    EXPECT_EQ(windows_->AssignDialog(), nullptr);
  }
  bool Enabled(const char* name) {
    return In<QPushButton>(windows_->ConfigureWindow(), name)->isEnabled();
  }

  QWidget main_window_;
  TerminalAliases aliases_;
  Settings settings_;
  RecordingMessageBoxes boxes_;
  TerminalsModel terminals_;
  QPointer<AliasWindows> windows_;
  Pairs told_;
  std::vector<AliasChange> changes_;
  std::vector<std::string> asked_;
  std::string answer_;
  kestrel_test::ScratchDirectory scratch_{"alias_windows_test"};
};

TEST_F(AliasWindowsTest, AssignDialogNamesCaptionsAndFocus) {
  aliases_.Assign("0A1B", "Unit 7");
  struct Case {
    std::function<void()> open;
    const char* caption;
    const char* terminal;
    const char* alias;
    const char* focused;
  };
  const std::vector<Case> cases = {
      {[this] { windows_->AssignAlias(); }, "Assign Terminal Alias", "", "", "Terminal"},
      {[this] { windows_->EditAlias("0A1B"); }, "Assign Terminal Alias", "0A1B", "Unit 7", "Alias"},
      {[this] { Click(OpenConfigure(), "AddButton"); }, "Add Terminal Alias", "", "", "Terminal"},
      {[this] {
         OpenConfigure();
         ClickRow(0);
         Click(windows_->ConfigureWindow(), "EditButton");
       },
       "Edit Terminal Alias", "0A1B", "Unit 7", "Alias"},
      {[this] {
         OpenConfigure();
         QTreeView* list = List();
         const QRect rect = list->visualRect(list->model()->index(0, 1));
         QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, rect.center());
         QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, rect.center());
       },
       "Edit Terminal Alias", "0A1B", "Unit 7", "Alias"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.caption);
    c.open();
    AssignAliasDialog* dialog = windows_->AssignDialog();
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(dialog->objectName(), "AssignAlias");
    EXPECT_EQ(dialog->windowTitle(), c.caption);
    EXPECT_EQ(dialog->windowModality(), Qt::ApplicationModal);
    EXPECT_EQ(In<QLineEdit>(dialog, "Terminal")->text(), c.terminal);
    EXPECT_EQ(In<QLineEdit>(dialog, "Alias")->text(), c.alias);
    EXPECT_EQ(In<QLabel>(dialog, "TerminalLabel")->text(), "Terminal:");
    EXPECT_EQ(In<QLabel>(dialog, "AliasLabel")->text(), "Alias:");
    EXPECT_EQ(In<QPushButton>(dialog, "OKButton")->text(), "OK");
    EXPECT_EQ(In<QPushButton>(dialog, "CancelButton")->text(), "Cancel");
    EXPECT_EQ(dialog->focusWidget(), In<QLineEdit>(dialog, c.focused));
    Click(dialog, "CancelButton");
    DeleteClosedWindows();
    EXPECT_EQ(windows_->AssignDialog(), nullptr);
  }
  EXPECT_EQ(AllPairs(aliases_), (Pairs{{"0A1B", "Unit 7"}}));
  EXPECT_FALSE(aliases_.Changed());
  EXPECT_TRUE(told_.empty());
}

TEST_F(AliasWindowsTest, NoDialogForTheAllRow) {
  windows_->EditAlias("<all>");
  EXPECT_EQ(windows_->AssignDialog(), nullptr);
  windows_->EditAlias("");
  EXPECT_EQ(windows_->AssignDialog(), nullptr);
}

TEST_F(AliasWindowsTest, AssignFromTheMainWindowUpdatesTheTerminalsRows) {
  windows_->AssignAlias();
  AnswerAssign("0C00", "Dispatch");
  EXPECT_EQ(AllPairs(aliases_), (Pairs{{"0C00", "Dispatch"}}));
  EXPECT_TRUE(aliases_.Changed());
  EXPECT_EQ(Rows(&terminals_), (Pairs{{"<all>", ""}, {"0A1B", ""}, {"0C00", "Dispatch"}}));

  windows_->EditAlias("0C00");
  EXPECT_EQ(In<QLineEdit>(windows_->AssignDialog(), "Alias")->text(), "Dispatch");
  AnswerAssign("0C00", "Base");
  EXPECT_EQ(aliases_.Count(), 1);
  EXPECT_EQ(Rows(&terminals_)[2].second, "Base");
  EXPECT_EQ(told_, (Pairs{{"0C00", "Dispatch"}, {"0C00", "Base"}}));
  EXPECT_EQ(changes_, (std::vector<AliasChange>{AliasChange::kAssigned, AliasChange::kAssigned}));
}

TEST_F(AliasWindowsTest, ConfigureWindowLoads) {
  ConfigureAliasesWindow* window = OpenConfigure();
  EXPECT_EQ(window->objectName(), "ConfigureAliases");
  EXPECT_EQ(window->windowTitle(), "Configure Terminal Aliases");
  EXPECT_FALSE(window->isModal());
  EXPECT_TRUE(window->isVisible());
  const std::vector<std::pair<const char*, const char*>> buttons = {
      {"AddButton", "&Add..."},       {"EditButton", "&Edit..."},     {"DeleteButton", "&Delete"},
      {"ImportButton", "&Import..."}, {"ExportButton", "E&xport..."}, {"OKButton", "OK"}};
  for (const auto& [name, caption] : buttons)
    EXPECT_EQ(In<QPushButton>(window, name)->text(), caption);
  EXPECT_EQ(List()->model()->headerData(0, Qt::Horizontal).toString(), "Terminal");
  EXPECT_EQ(List()->model()->headerData(1, Qt::Horizontal).toString(), "Alias");
  EXPECT_EQ(List()->model()->rowCount(), 0);
  EXPECT_FALSE(Enabled("EditButton"));
  EXPECT_FALSE(Enabled("DeleteButton"));
  EXPECT_FALSE(Enabled("ExportButton"));  // nothing to export
  EXPECT_TRUE(Enabled("ImportButton"));
  Click(window, "OKButton");
  DeleteClosedWindows();
  EXPECT_EQ(windows_->ConfigureWindow(), nullptr);

  aliases_.Assign("0C00", "Dispatch");
  aliases_.Assign("0A1B", "Unit 7");
  OpenConfigure();
  EXPECT_EQ(Rows(List()->model()), (Pairs{{"0C00", "Dispatch"}, {"0A1B", "Unit 7"}}));
  EXPECT_TRUE(Enabled("ExportButton"));
  EXPECT_FALSE(Enabled("EditButton"));
  ClickRow(1);
  EXPECT_TRUE(Enabled("EditButton"));
  EXPECT_TRUE(Enabled("DeleteButton"));
  // Showing it again keeps the same window.
  ConfigureAliasesWindow* same = windows_->ConfigureWindow();
  windows_->ShowConfigureWindow();
  EXPECT_EQ(windows_->ConfigureWindow(), same);
}

TEST_F(AliasWindowsTest, AddEditAndDeleteUpdateBothLists) {
  OpenConfigure();
  Click(windows_->ConfigureWindow(), "AddButton");
  AnswerAssign("0A1B", "Unit 7");
  EXPECT_EQ(Rows(List()->model()), (Pairs{{"0A1B", "Unit 7"}}));
  EXPECT_EQ(Rows(&terminals_)[1], (std::pair<std::string, std::string>{"0A1B", "Unit 7"}));
  EXPECT_TRUE(Enabled("ExportButton"));
  EXPECT_TRUE(aliases_.Changed());

  Click(windows_->ConfigureWindow(), "AddButton");
  AnswerAssign("0C00", "Dispatch");
  ClickRow(0);
  Click(windows_->ConfigureWindow(), "EditButton");
  AnswerAssign("0A1B", "Unit 9");
  EXPECT_EQ(Rows(List()->model()), (Pairs{{"0A1B", "Unit 9"}, {"0C00", "Dispatch"}}));
  EXPECT_EQ(Rows(&terminals_), (Pairs{{"<all>", ""}, {"0A1B", "Unit 9"}, {"0C00", "Dispatch"}}));
  EXPECT_FALSE(Enabled("EditButton"));  // after every OK
  EXPECT_FALSE(Enabled("DeleteButton"));

  aliases_.SetChanged(false);
  ClickRow(1);
  Click(windows_->ConfigureWindow(), "DeleteButton");
  EXPECT_EQ(Rows(List()->model()), (Pairs{{"0A1B", "Unit 9"}}));
  EXPECT_EQ(AllPairs(aliases_), (Pairs{{"0A1B", "Unit 9"}}));
  EXPECT_EQ(Rows(&terminals_)[2], (std::pair<std::string, std::string>{"0C00", ""}));
  EXPECT_TRUE(aliases_.Changed());
  EXPECT_FALSE(Enabled("DeleteButton"));
  EXPECT_TRUE(Enabled("ExportButton"));

  ClickRow(0);
  Click(windows_->ConfigureWindow(), "DeleteButton");
  EXPECT_EQ(aliases_.Count(), 0);
  EXPECT_FALSE(Enabled("ExportButton"));
  EXPECT_EQ(Rows(&terminals_), (Pairs{{"<all>", ""}, {"0A1B", ""}, {"0C00", ""}}));
  EXPECT_EQ(changes_.back(), AliasChange::kDeleted);
  EXPECT_EQ(changes_.front(), AliasChange::kAssigned);
}

TEST_F(AliasWindowsTest, MainWindowAssignReachesTheOpenConfigureWindow) {
  aliases_.Assign("0A1B", "Unit 7");
  OpenConfigure();
  ClickRow(0);
  windows_->EditAlias("0A1B");
  AnswerAssign("0A1B", "Unit 8");
  windows_->AssignAlias();
  AnswerAssign("0D00", "Car 3");  // not heard yet: no Terminals row
  EXPECT_EQ(Rows(List()->model()), (Pairs{{"0A1B", "Unit 8"}, {"0D00", "Car 3"}}));
  EXPECT_EQ(Rows(&terminals_), (Pairs{{"<all>", ""}, {"0A1B", "Unit 8"}, {"0C00", ""}}));
  EXPECT_FALSE(Enabled("EditButton"));
}

TEST_F(AliasWindowsTest, HeaderClicksSortAndAnAliasChangeSortsAgain) {
  aliases_.Assign("20", "bravo");
  aliases_.Assign("10", "charlie");
  aliases_.Assign("30", "alpha");
  OpenConfigure();
  QHeaderView* header = List()->header();
  emit header->sectionClicked(1);
  EXPECT_EQ(Rows(List()->model()), (Pairs{{"30", "alpha"}, {"20", "bravo"}, {"10", "charlie"}}));
  emit header->sectionClicked(1);
  EXPECT_EQ(Rows(List()->model())[0].first, "10");
  emit header->sectionClicked(0);
  EXPECT_EQ(Rows(List()->model()), (Pairs{{"10", "charlie"}, {"20", "bravo"}, {"30", "alpha"}}));

  // Sorted by terminal: a changed alias stays where it is.
  windows_->EditAlias("10");
  AnswerAssign("10", "zulu");
  EXPECT_EQ(Rows(List()->model())[0], (std::pair<std::string, std::string>{"10", "zulu"}));
  // Sorted by alias: it moves.
  emit header->sectionClicked(1);
  EXPECT_EQ(Rows(List()->model())[2].first, "10");
  windows_->EditAlias("10");
  AnswerAssign("10", "aardvark");
  EXPECT_EQ(Rows(List()->model()), (Pairs{{"10", "aardvark"}, {"30", "alpha"}, {"20", "bravo"}}));

  // The selection follows its terminal through a sort.
  ClickRow(2);
  emit header->sectionClicked(1);
  EXPECT_EQ(windows_->ConfigureWindow()->SelectedTerminal(), "20");
  EXPECT_EQ(Rows(List()->model())[0].first, "20");
}

TEST_F(AliasWindowsTest, ExportAndImportRoundTripThroughTheWindow) {
  aliases_.Assign("0A1B", "Unit 7");
  aliases_.Assign("0C00", "Dispatch");
  aliases_.Assign("0D00", "");
  const Pairs exported = AllPairs(aliases_);
  OpenConfigure();
  answer_ = scratch_.Path("aliases.ini");
  Click(windows_->ConfigureWindow(), "ExportButton");
  EXPECT_EQ(asked_, (std::vector<std::string>{"Export Aliases To |  | *.ini | ini"}));
  EXPECT_TRUE(boxes_.shown.empty());

  // Again over the same file: asked, and No leaves it.
  boxes_.answer = MessageBoxes::Answer::kNo;
  aliases_.Assign("0E00", "not exported");
  Click(windows_->ConfigureWindow(), "ExportButton");
  ASSERT_EQ(boxes_.shown.size(), 1u);
  EXPECT_EQ(boxes_.shown[0].text, "File already exists, overwrite?");
  EXPECT_EQ(boxes_.shown[0].title, "Overwrite file?");
  EXPECT_EQ(ReadIniString("TerminalAliases", "Aliases", answer_), "3");
  aliases_.Remove("0E00");

  // Delete everything, then import into the empty store.
  for (int i = 0; i < 3; ++i) {
    ClickRow(0);
    Click(windows_->ConfigureWindow(), "DeleteButton");
  }
  aliases_.SetChanged(false);
  EXPECT_FALSE(Enabled("ExportButton"));
  told_.clear();
  changes_.clear();
  Click(windows_->ConfigureWindow(), "ImportButton");
  EXPECT_EQ(asked_.back(), "Import Aliases From |  | *.ini | ini");
  EXPECT_EQ(AllPairs(aliases_), exported);
  EXPECT_TRUE(aliases_.Changed());
  EXPECT_EQ(Rows(List()->model()), exported);
  EXPECT_TRUE(Enabled("ExportButton"));
  EXPECT_EQ(told_, exported);
  EXPECT_EQ(changes_.back(), AliasChange::kImported);
  EXPECT_EQ(Rows(&terminals_), (Pairs{{"<all>", ""}, {"0A1B", "Unit 7"}, {"0C00", "Dispatch"}}));
  EXPECT_EQ(boxes_.shown.size(), 1u);
  // The progress window is gone again.
  for (QWidget* top : QApplication::topLevelWidgets()) {
    if (top->objectName() == "Status") EXPECT_FALSE(top->isVisible());
  }
}

TEST_F(AliasWindowsTest, Screenshots) {
  aliases_.Assign("0A1B", "Unit 7");
  aliases_.Assign("0C00", "Dispatch");
  ConfigureAliasesWindow* window = OpenConfigure();
  const char* directory = std::getenv("KESTREL_SCREENSHOTS");
  window->resize(window->sizeHint());
  if (directory) window->grab().save(QString(directory) + "/configure_aliases.png");
  window->resize(window->width() * 3 / 2, window->height() * 3 / 2);
  // The list follows a larger window; the buttons stay their size.
  EXPECT_GT(List()->width(), window->width() / 2);
  if (directory) window->grab().save(QString(directory) + "/configure_aliases_large.png");
  windows_->EditAlias("0A1B");
  AssignAliasDialog* dialog = windows_->AssignDialog();
  dialog->resize(dialog->sizeHint());
  if (directory) dialog->grab().save(QString(directory) + "/assign_alias.png");
  EXPECT_GE(In<QLineEdit>(dialog, "Alias")->width(), In<QLabel>(dialog, "AliasLabel")->width());
}

}  // namespace
}  // namespace kestrel
