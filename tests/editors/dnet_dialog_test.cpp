#include "editors/dnet_dialog.h"

#include <gtest/gtest.h>
#include <QApplication>
#include <QHeaderView>
#include <QTest>

#include "support/message_recorder.h"
#include "support/temp_dir.h"

namespace velmora::ui {
namespace {

using Kind = test::MessageRecorder::Kind;

const std::string kTwoNodes =
    "<DNET_Net><row ID=\"5\" NB_IN=\"4\" NB_OUT=\"2\" Mnemonic=\"Drive\"/>"
    "<row ID=\"9\" NB_IN=\"8\" NB_OUT=\"6\" Mnemonic=\"\"/></DNET_Net>";

class TFDNetTest : public ::testing::Test {
protected:
    QString cell(int row, int column) { return dialog.ASG->cells().cell(row, column); }
    void type(int row, int column, const QString& text) {
        TextGridModel& cells = dialog.ASG->cells();
        ASSERT_TRUE(cells.setData(cells.index(row, column), text));
    }
    void typeRow(int row, const QStringList& texts) {
        for (int i = 0; i < texts.size(); ++i) type(row, i + 1, texts[i]);
    }
    std::string written() { return test::readText(file); }

    test::TempDir dir;
    std::filesystem::path file = dir / "DNET_Net.xml";
    int pathRequests = 0;
    test::MessageRecorder messages;
    TFDNet dialog{[this] {
                      ++pathRequests;
                      return file;
                  },
                  messages};
};

TEST_F(TFDNetTest, LooksAsDescribed) {
    EXPECT_EQ(dialog.windowTitle(), "DeviceNet Network");
    EXPECT_EQ(dialog.size(), QSize(617, 527));
    EXPECT_EQ(dialog.ASG->objectName(), "ASG");
    EXPECT_EQ(dialog.bitbtn1->objectName(), "bitbtn1");
    EXPECT_EQ(dialog.bitbtn2->objectName(), "bitbtn2");
    EXPECT_EQ(dialog.bitbtn1->text(), "OK");
    EXPECT_EQ(dialog.bitbtn2->text(), "Cancel");
    EXPECT_EQ(dialog.bitbtn1->size(), QSize(93, 23));
    EXPECT_EQ(dialog.bitbtn2->size(), QSize(93, 23));
    EXPECT_EQ(dialog.palette().color(QPalette::Window), QColor(248, 247, 237));

    const TextGridModel& cells = dialog.ASG->cells();
    EXPECT_EQ(cells.rowCount(), 65);
    EXPECT_EQ(cells.columnCount(), 5);
    const QStringList headings = {"N", "ID", "N BYTE IN", "N BYTE OUT", "MNEMONIC"};
    for (int column = 0; column < 5; ++column) EXPECT_EQ(cells.cell(0, column), headings[column]);
    // Each column has its width, or more where its heading needs it in the font in use (the
    // widths were chosen for Verdana, which many systems lack).
    const int widths[] = {45, 65, 75, 75, 255};
    QFont headingFont = dialog.ASG->horizontalHeader()->font();
    headingFont.setBold(true);
    const int margins = 2 * dialog.ASG->style()->pixelMetric(QStyle::PM_HeaderMargin);
    for (int column = 0; column < 5; ++column) {
        SCOPED_TRACE(headings[column].toStdString());
        const int width =
            column == 0 ? dialog.ASG->verticalHeader()->width() : dialog.ASG->columnWidth(column);
        EXPECT_GE(width, widths[column]);
        EXPECT_GE(width, QFontMetrics(headingFont).horizontalAdvance(headings[column]) + margins);
        EXPECT_EQ(width, std::max(widths[column], dialog.ASG->headingWidth(column)));
    }
    EXPECT_EQ(dialog.ASG->rowHeight(1), 21);
    EXPECT_EQ(dialog.ASG->rowHeight(64), 21);
    EXPECT_EQ(dialog.ASG->horizontalHeader()->height(), 21);
    EXPECT_FALSE(dialog.ASG->isSortingEnabled());
    EXPECT_FALSE(dialog.ASG->horizontalHeader()->sectionsMovable());
    EXPECT_EQ(dialog.ASG->selectionMode(), QAbstractItemView::ExtendedSelection);
    EXPECT_EQ(pathRequests, 0);
}

TEST_F(TFDNetTest, GridGrowsWithTheWindowAboveTheBottomBar) {
    dialog.show();
    dialog.resize(800, 700);
    QApplication::processEvents();
    EXPECT_EQ(dialog.ASG->geometry(), QRect(0, 0, 800, 700 - 39));
    EXPECT_EQ(dialog.bitbtn1->mapTo(&dialog, QPoint(0, 0)).y(), 700 - 39 + 8);
    EXPECT_LT(dialog.bitbtn2->mapTo(&dialog, QPoint(0, 0)).x(), 400);
}

TEST_F(TFDNetTest, ShowingWithoutADocumentGivesANumberedEmptyGrid) {
    type(3, 2, "left over");
    dialog.FormShow();
    EXPECT_EQ(pathRequests, 1);
    EXPECT_TRUE(messages.messages.empty());
    for (int row = 1; row <= 64; ++row) {
        EXPECT_EQ(cell(row, 0), QString::number(row));
        for (int column = 1; column <= 4; ++column) EXPECT_EQ(cell(row, column), "");
    }
    EXPECT_EQ(dialog.ASG->cells().headerData(64, Qt::Vertical).toString(), "64");
}

TEST_F(TFDNetTest, EveryShowingRereadsTheDocument) {
    test::writeText(file, kTwoNodes);
    dialog.show();
    EXPECT_EQ(pathRequests, 1);
    EXPECT_EQ(cell(1, 1), "5");
    EXPECT_EQ(cell(1, 4), "Drive");
    EXPECT_EQ(cell(2, 3), "6");
    EXPECT_EQ(cell(3, 1), "");
    dialog.bitbtn2Click();
    test::writeText(file,
                    "<DNET_Net><row ID=\"1\" NB_IN=\"1\" NB_OUT=\"1\" Mnemonic=\"x\"/></DNET_Net>");
    dialog.show();
    EXPECT_EQ(pathRequests, 2);
    EXPECT_EQ(cell(1, 4), "x");
    EXPECT_EQ(cell(2, 1), "");
}

TEST_F(TFDNetTest, AnUnreadableDocumentIsReportedAndTheGridStaysEmpty) {
    test::writeText(file,
                    "<DNET_Net><row ID=\"1\" NB_IN=\"1\" NB_OUT=\"1\" Mnemonic=\"x\"></DNET_Net>");
    dialog.FormShow();
    ASSERT_EQ(messages.messages.size(), 1u);
    EXPECT_EQ(messages.messages[0].kind, Kind::Failure);
    EXPECT_TRUE(messages.messages[0].text.contains("\nLine: 1\n"));
    EXPECT_EQ(cell(1, 1), "");
    EXPECT_EQ(cell(1, 0), "1");

    // OK overwrites the file with what the grid holds.
    typeRow(1, {"3", "1", "2", "new"});
    dialog.bitbtn1Click();
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_EQ(written(),
              "<DNET_Net><row ID=\"3\" NB_IN=\"1\" NB_OUT=\"2\" Mnemonic=\"new\"/></DNET_Net>");
}

TEST_F(TFDNetTest, AMissingAttributeIsReportedWithEarlierCellsKept) {
    test::writeText(file,
                    "<DNET_Net><node ID=\"1\" NB_IN=\"2\" NB_OUT=\"3\" Mnemonic=\"a\"/>"
                    "<row ID=\"4\" NB_IN=\"5\" Mnemonic=\"b\"/>"
                    "<row ID=\"7\" NB_IN=\"8\" NB_OUT=\"9\" Mnemonic=\"c\"/></DNET_Net>");
    dialog.FormShow();
    ASSERT_EQ(messages.messages.size(), 1u);
    EXPECT_EQ(messages.messages[0],
              (test::MessageRecorder::Message{
                  Kind::Failure, "Row 2 of the DeviceNet network has no attribute \"NB_OUT\""}));
    EXPECT_EQ(dialog.ASG->cells().cell(1, 4), "a");
    EXPECT_EQ(cell(2, 1), "4");
    EXPECT_EQ(cell(2, 2), "5");
    EXPECT_EQ(cell(2, 3), "");
    EXPECT_EQ(cell(2, 4), "");
    EXPECT_EQ(cell(3, 1), "");
    EXPECT_EQ(cell(2, 0), "2");
}

TEST_F(TFDNetTest, SeventyRowsShowSixtyFourAndOkWritesThoseOnly) {
    std::string xml = "<DNET_Net>";
    for (int i = 1; i <= 70; ++i) {
        xml += "<row ID=\"" + std::to_string(i % 64) + "\" NB_IN=\"1\" NB_OUT=\"2\" Mnemonic=\"n" +
               std::to_string(i) + "\"/>";
    }
    test::writeText(file, xml + "</DNET_Net>");
    dialog.FormShow();
    EXPECT_TRUE(messages.messages.empty());
    EXPECT_EQ(cell(64, 4), "n64");
    dialog.bitbtn1Click();
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    XmlDocument document;
    document.load(file);
    EXPECT_EQ(document.firstNode()->childCount(), 64u);
    EXPECT_EQ(*document.firstNode()->children().back().attribute("Mnemonic"), "n64");
}

TEST_F(TFDNetTest, OkWritesTheRowsUpToTheFirstEmptyId) {
    dialog.FormShow();
    typeRow(1, {"5", "4", "2", "Drive"});
    typeRow(2, {"9", "8", "6", ""});
    typeRow(3, {"9", "1", "1", "same ID"});
    typeRow(4, {"", "999", "", "ignored"});
    typeRow(5, {"70", "1", "1", "gone"});
    dialog.bitbtn1Click();
    EXPECT_TRUE(messages.messages.empty());
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_EQ(written(),
              "<DNET_Net><row ID=\"5\" NB_IN=\"4\" NB_OUT=\"2\" Mnemonic=\"Drive\"/>"
              "<row ID=\"9\" NB_IN=\"8\" NB_OUT=\"6\" Mnemonic=\"\"/>"
              "<row ID=\"9\" NB_IN=\"1\" NB_OUT=\"1\" Mnemonic=\"same ID\"/></DNET_Net>");
    dialog.FormShow();
    EXPECT_EQ(cell(3, 4), "same ID");
    EXPECT_EQ(cell(5, 1), "");
}

TEST_F(TFDNetTest, OkWithTheTwoNodeExampleWritesItExactly) {
    dialog.FormShow();
    typeRow(1, {"5", "4", "2", "Drive"});
    typeRow(2, {"9", "8", "6", ""});
    dialog.bitbtn1Click();
    EXPECT_EQ(written(), kTwoNodes);
}

TEST_F(TFDNetTest, AnEmptyFirstIdWritesAnEmptyList) {
    test::writeText(file, kTwoNodes);
    dialog.FormShow();
    type(1, 1, "");
    dialog.bitbtn1Click();
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_EQ(written(), "<DNET_Net/>");
}

struct FailingGrid {
    const char* name;
    std::vector<QStringList> rows;
    QString message;
};

void PrintTo(const FailingGrid& grid, std::ostream* os) { *os << grid.name; }

class TFDNetCheck : public TFDNetTest, public ::testing::WithParamInterface<FailingGrid> {};

TEST_P(TFDNetCheck, AFailedCheckShowsItsErrorAndWritesNothing) {
    test::writeText(file, "<DNET_Net/>");
    dialog.FormShow();
    for (std::size_t i = 0; i < GetParam().rows.size(); ++i)
        typeRow(static_cast<int>(i) + 1, GetParam().rows[i]);
    dialog.bitbtn1Click();
    EXPECT_EQ(messages.messages,
              (std::vector<test::MessageRecorder::Message>{{Kind::Error, GetParam().message}}));
    EXPECT_NE(dialog.result(), QDialog::Accepted);
    EXPECT_EQ(written(), "<DNET_Net/>");
    // The grid keeps the user's entries.
    EXPECT_EQ(cell(1, 1), GetParam().rows[0][0]);
}

std::vector<QStringList> rowsOf(int count, const QStringList& row) {
    return std::vector<QStringList>(count, row);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, TFDNetCheck,
    ::testing::Values(
        FailingGrid{"EmptyIn",
                    {{"1", "1", "1", ""}, {"2", "", "1", ""}},
                    "Error in row 2!! Number Byte IN must be 0 or 455. "},
        FailingGrid{"BlankId", {{"   ", "1", "1", ""}}, "Error in row 1!! ID must be 0 or 63. "},
        FailingGrid{"Out456",
                    {{"0", "455", "456", ""}},
                    "Error in row 1!! Number Byte OUT must be 0 or 455. "},
        FailingGrid{"Row64",
                    [] {
                        auto rows = rowsOf(64, {"63", "0", "0", ""});
                        rows[63][0] = "64";
                        return rows;
                    }(),
                    "Error in row 64!! ID must be 0 or 63. "},
        FailingGrid{"BothSums", rowsOf(14, {"1", "455", "455", ""}),
                    "Error!! Number of Byte IN must be under 6000. "}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(TFDNetTest, AFailedSaveIsReportedAndTheDialogStaysOpen) {
    file = dir / "removed" / "DNET_Net.xml";
    dialog.FormShow();
    typeRow(1, {"1", "1", "1", ""});
    dialog.bitbtn1Click();
    ASSERT_EQ(messages.messages.size(), 1u);
    EXPECT_EQ(messages.messages[0].kind, Kind::Failure);
    EXPECT_TRUE(messages.messages[0].text.contains("removed"));
    EXPECT_NE(dialog.result(), QDialog::Accepted);
    EXPECT_EQ(cell(1, 1), "1");
}

TEST_F(TFDNetTest, AMnemonicXmlCannotCarryIsReportedAndTheFileKept) {
    test::writeText(file, kTwoNodes);
    dialog.FormShow();
    dialog.ASG->setCurrentIndex(dialog.ASG->cells().index(2, 4));
    dialog.ASG->pasteText(QString("bell\x07"));
    dialog.bitbtn1Click();
    ASSERT_EQ(messages.messages.size(), 1u);
    EXPECT_EQ(messages.messages[0].kind, Kind::Failure);
    EXPECT_TRUE(
        messages.messages[0].text.startsWith("Row 2 of the DeviceNet network cannot be stored"));
    EXPECT_NE(dialog.result(), QDialog::Accepted);
    EXPECT_EQ(written(), kTwoNodes);
}

TEST_F(TFDNetTest, CancelAndTheCloseBoxWriteNothing) {
    dialog.show();
    typeRow(1, {"1", "1", "1", ""});
    dialog.bitbtn2->click();
    EXPECT_EQ(dialog.result(), QDialog::Rejected);
    EXPECT_FALSE(dialog.isVisible());
    dialog.show();
    typeRow(1, {"1", "1", "1", ""});
    dialog.close();
    EXPECT_EQ(dialog.result(), QDialog::Rejected);
    EXPECT_FALSE(std::filesystem::exists(file));
}

TEST_F(TFDNetTest, EnterInTheGridNeverConfirmsTheDialog) {
    dialog.show();
    dialog.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&dialog));
    dialog.ASG->setFocus();
    QTest::keyClick(dialog.ASG, Qt::Key_7);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_EQ(cell(1, 1), "7");
    EXPECT_FALSE(std::filesystem::exists(file));
}

TEST_F(TFDNetTest, OkTakesTheTextOfAnOpenEditor) {
    dialog.show();
    dialog.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&dialog));
    typeRow(1, {"1", "2", "3", ""});
    dialog.ASG->setFocus();
    dialog.ASG->setCurrentIndex(dialog.ASG->cells().index(1, 4));
    QTest::keyClicks(dialog.ASG, "M");
    QTest::keyClicks(QApplication::focusWidget(), "ix");
    dialog.bitbtn1Click();
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_EQ(written(),
              "<DNET_Net><row ID=\"1\" NB_IN=\"2\" NB_OUT=\"3\" Mnemonic=\"Mix\"/></DNET_Net>");
}

}  // namespace
}  // namespace velmora::ui
