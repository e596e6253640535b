#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QFile>
#include <QFontInfo>
#include <QMessageBox>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTest>
#include <QTimer>
#include <QWidget>
#include <filesystem>
#include <functional>
#include <string>

#include "app/platform/qt_message_boxes.h"
#include "app/platform/qt_printer.h"
#include "app/profile/set_topmost.h"
#include "app/ui/mdt_font.h"
#include "support/scratch_directory.h"

namespace kestrel {
namespace {

TEST(MdtFontTest, TakesTheSettingsAndFallsBackToFixedPitch) {
  Settings settings;
  settings.MDTFontSize = 12;
  settings.MDTFontBold = true;
  settings.MDTFontItalic = true;
  const QFont font = MdtFont(settings);
  EXPECT_EQ(font.family(), "Courier New");
  EXPECT_DOUBLE_EQ(font.pointSizeF(), 12);
  EXPECT_TRUE(font.bold());
  EXPECT_TRUE(font.italic());
  EXPECT_EQ(font.styleHint(), QFont::TypeWriter);
  EXPECT_TRUE(QFontInfo(font).fixedPitch());  // whatever face stands in for Courier New

  settings.MDTFontSize = 0;
  EXPECT_DOUBLE_EQ(MdtFont(settings).pointSizeF(), 9);
  settings.MDTFontSize = 0.5;
  EXPECT_DOUBLE_EQ(MdtFont(settings).pointSizeF(), 0.5);
}

TEST(ToQColorTest, RedInTheLowByte) {
  EXPECT_EQ(ToQColor(0x0000FF, Qt::black), QColor(255, 0, 0));
  EXPECT_EQ(ToQColor(65280, Qt::black), QColor(0, 255, 0));
  EXPECT_EQ(ToQColor(0xFF0000, Qt::black), QColor(0, 0, 255));
  EXPECT_EQ(ToQColor(16777215, Qt::black), QColor(255, 255, 255));
  EXPECT_EQ(ToQColor(0, Qt::white), QColor(0, 0, 0));
  EXPECT_EQ(ToQColor(-1, Qt::white), QColor(Qt::white));
  EXPECT_EQ(ToQColor(-2, Qt::white), QColor(Qt::white));
}

TEST(SetTopmostTest, ChangesOnlyTheFlag) {
  QWidget hidden;
  hidden.setGeometry(40, 50, 200, 100);
  SetTopmost(&hidden, true);
  EXPECT_TRUE(hidden.windowFlags().testFlag(Qt::WindowStaysOnTopHint));
  EXPECT_FALSE(hidden.isVisible());

  QWidget shown;
  shown.setGeometry(60, 70, 210, 110);
  shown.show();
  const QRect before = shown.geometry();
  SetTopmost(&shown, true);
  EXPECT_TRUE(shown.windowFlags().testFlag(Qt::WindowStaysOnTopHint));
  EXPECT_TRUE(shown.isVisible());
  EXPECT_EQ(shown.geometry(), before);
  SetTopmost(&shown, false);
  EXPECT_FALSE(shown.windowFlags().testFlag(Qt::WindowStaysOnTopHint));
  EXPECT_TRUE(shown.isVisible());
  EXPECT_EQ(shown.geometry(), before);
  SetTopmost(nullptr, true);
}

// ---- Message boxes ----

// Runs `act` on the message box that the next Show opens, once it is up.
void OnNextBox(std::function<void(QMessageBox&)> act) {
  QTimer::singleShot(0, [act] {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    if (box == nullptr) return OnNextBox(act);
    act(*box);
  });
}

void Click(QMessageBox::StandardButton which) {
  OnNextBox([which](QMessageBox& box) { box.button(which)->click(); });
}

struct Answered {
  MessageBoxes::Buttons buttons;
  QMessageBox::StandardButton clicked;  // NoButton: Escape
  MessageBoxes::Answer answer;
};

class QtMessageBoxesAnswerTest : public ::testing::TestWithParam<Answered> {};

TEST_P(QtMessageBoxesAnswerTest, AnswersTheButtonOrEscape) {
  const Answered& row = GetParam();
  if (row.clicked == QMessageBox::NoButton) {
    OnNextBox([](QMessageBox& box) { QTest::keyClick(&box, Qt::Key_Escape); });
  } else {
    Click(row.clicked);
  }
  QtMessageBoxes boxes;
  EXPECT_EQ(boxes.Show("Question?", "Title", MessageBoxes::Icon::kQuestion, row.buttons),
            row.answer);
}

using B = MessageBoxes::Buttons;
using A = MessageBoxes::Answer;
INSTANTIATE_TEST_SUITE_P(
    Buttons, QtMessageBoxesAnswerTest,
    ::testing::Values(Answered{B::kOk, QMessageBox::Ok, A::kOk},
                      Answered{B::kOk, QMessageBox::NoButton, A::kOk},
                      Answered{B::kOkCancel, QMessageBox::Ok, A::kOk},
                      Answered{B::kOkCancel, QMessageBox::Cancel, A::kCancel},
                      Answered{B::kOkCancel, QMessageBox::NoButton, A::kCancel},
                      Answered{B::kYesNo, QMessageBox::Yes, A::kYes},
                      Answered{B::kYesNo, QMessageBox::No, A::kNo},
                      Answered{B::kYesNo, QMessageBox::NoButton, A::kNo},
                      Answered{B::kYesNoCancel, QMessageBox::Yes, A::kYes},
                      Answered{B::kYesNoCancel, QMessageBox::No, A::kNo},
                      Answered{B::kYesNoCancel, QMessageBox::Cancel, A::kCancel},
                      Answered{B::kYesNoCancel, QMessageBox::NoButton, A::kCancel}));

TEST(QtMessageBoxesTest, ShowsTextTitleIconAndButtonsAsGiven) {
  struct Seen {
    QString text, title;
    QMessageBox::Icon icon;
    QMessageBox::StandardButtons buttons;
    QMessageBox::StandardButton default_button;
    Qt::TextFormat format;
  } seen{};
  const auto look = [&seen](QMessageBox& box) {
    seen = {box.text(),
            box.windowTitle(),
            box.icon(),
            box.standardButtons(),
            box.standardButton(box.defaultButton()),
            box.textFormat()};
    QAbstractButton* answer = box.button(QMessageBox::No);
    if (answer == nullptr) answer = box.button(QMessageBox::Ok);
    answer->click();
  };
  QtMessageBoxes boxes;
  OnNextBox(look);
  boxes.Show("Unable to load profile Zoë's <b>.ini", "Error Loading Profile",
             MessageBoxes::Icon::kExclamation, MessageBoxes::Buttons::kOk);
  EXPECT_EQ(seen.text, QString::fromUtf8("Unable to load profile Zoë's <b>.ini"));
  EXPECT_EQ(seen.format, Qt::PlainText);  // names are never taken as markup
  EXPECT_EQ(seen.title, "Error Loading Profile");
  EXPECT_EQ(seen.icon, QMessageBox::Warning);
  EXPECT_EQ(seen.buttons, QMessageBox::Ok);

  OnNextBox(look);
  boxes.Show("Suppress further errors if possible?", "Kestrel Error", MessageBoxes::Icon::kStop,
             MessageBoxes::Buttons::kYesNo);
  EXPECT_EQ(seen.icon, QMessageBox::Critical);
  EXPECT_EQ(seen.buttons, QMessageBox::Yes | QMessageBox::No);
  EXPECT_EQ(seen.default_button, QMessageBox::Yes);
}

// ---- Printer ----

// Pages of a PDF as Qt writes them: one page object each.
int PdfPages(const QByteArray& pdf) {
  return int(pdf.count("/Type /Page\n") + pdf.count("/Type /Page\r") + pdf.count("/Type /Page/") +
             pdf.count("/Type /Page>"));
}

QByteArray ReadAll(const std::string& path) {
  QFile file(QString::fromStdString(path));
  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

class QtPrinterTest : public ::testing::Test {
 protected:
  std::string Pdf() const { return scratch_.Path("printout.pdf"); }
  kestrel_test::ScratchDirectory scratch_{"kestrel_printer"};
  QFont font_ = MdtFont(Settings{});
};

TEST_F(QtPrinterTest, PrintsTheLinesIntoAPdfWhenTheJobEnds) {
  QtPrinter printer(font_, QString::fromStdString(Pdf()));
  EXPECT_FALSE(printer.JobOpen());
  ASSERT_TRUE(printer.PrintLine("Terminal: 1234 (Unit 7)\r\n\r\nHELLO WORLD"));
  EXPECT_TRUE(printer.JobOpen());
  ASSERT_TRUE(printer.PrintLine("SECOND LINE"));
  printer.EndJob();
  EXPECT_FALSE(printer.JobOpen());
  const QByteArray pdf = ReadAll(Pdf());
  ASSERT_TRUE(pdf.startsWith("%PDF-"));
  EXPECT_EQ(PdfPages(pdf), 1);
  EXPECT_EQ(printer.Pages(), 1);

  const QString pdftotext = QStandardPaths::findExecutable("pdftotext");
  if (!pdftotext.isEmpty()) {
    QProcess process;
    process.start(pdftotext, {QString::fromStdString(Pdf()), "-"});
    ASSERT_TRUE(process.waitForFinished());
    const QString text = QString::fromUtf8(process.readAllStandardOutput());
    EXPECT_TRUE(text.contains("Terminal: 1234 (Unit 7)"));
    EXPECT_TRUE(text.contains("HELLO WORLD"));
    EXPECT_TRUE(text.contains("SECOND LINE"));
  }
}

TEST_F(QtPrinterTest, BreaksPagesAsTheyFill) {
  QtPrinter printer(font_, QString::fromStdString(Pdf()));
  std::string many;
  for (int i = 0; i < 150; ++i) many += "LINE " + std::to_string(i) + "\r\n";
  ASSERT_TRUE(printer.PrintLine(many));
  printer.EndJob();
  const int pages = PdfPages(ReadAll(Pdf()));
  EXPECT_GE(pages, 2);
  EXPECT_EQ(pages, printer.Pages());
}

TEST_F(QtPrinterTest, LineWiderThanThePageGoesOnInTheNextLines) {
  QtPrinter printer(font_, QString::fromStdString(Pdf()));
  ASSERT_TRUE(printer.PrintLine(std::string(20000, 'W')));  // one page if it were cut
  printer.EndJob();
  EXPECT_GE(PdfPages(ReadAll(Pdf())), 2);
}

TEST_F(QtPrinterTest, NewJobAfterEndJobStartsANewFile) {
  QtPrinter printer(font_, QString::fromStdString(Pdf()));
  std::string many;
  for (int i = 0; i < 150; ++i) many += "LINE\r\n";
  printer.PrintLine(many);
  printer.EndJob();
  ASSERT_GE(PdfPages(ReadAll(Pdf())), 2);
  printer.PrintLine("");
  printer.EndJob();
  EXPECT_EQ(PdfPages(ReadAll(Pdf())), 1);
}

TEST_F(QtPrinterTest, DestructionEndsTheJob) {
  {
    QtPrinter printer(font_, QString::fromStdString(Pdf()));
    ASSERT_TRUE(printer.PrintLine("LAST"));
  }
  EXPECT_EQ(PdfPages(ReadAll(Pdf())), 1);
}

TEST_F(QtPrinterTest, UnwritableFileFailsEveryLineOfTheJob) {
  const std::string path = scratch_.Path("missing/printout.pdf");
  QtPrinter printer(font_, QString::fromStdString(path));
  EXPECT_FALSE(printer.PrintLine("lost"));
  EXPECT_FALSE(printer.JobOpen());
  EXPECT_FALSE(printer.PrintLine("lost too"));
  printer.EndJob();
  // A later job tries again: once the folder is there it prints.
  ASSERT_TRUE(std::filesystem::create_directory(scratch_.path() / "missing"));
  EXPECT_TRUE(printer.PrintLine("found"));
  printer.EndJob();
  EXPECT_TRUE(ReadAll(path).startsWith("%PDF-"));
}

}  // namespace
}  // namespace kestrel
