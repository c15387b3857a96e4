#include <gtest/gtest.h>
#include <QApplication>
#include <QLabel>

#include "editors/dnet_dialog.h"
#include "support/message_recorder.h"
#include "support/temp_dir.h"
#include "ui/qt_path.h"

namespace velmora::ui {
namespace {

using Kind = test::MessageRecorder::Kind;

// Hand-written data sheets: a pump drive (10 bytes produced, 6 consumed) and a valve block
// (cyclic by default, 2 bytes produced, 4 consumed).
const std::string kPumpDrive =
    "[Device]\nProdName = \"PUMP-DRIVE\";\n[IO_Info]\nDefault = 0x0001;\n"
    "PollInfo = 0x0001, 1, 1;\nInput1 = 10, 0, 0x0001, \"Status\";\nOutput1 = 6;\n";
const std::string kValveBlock =
    "[Device]\nProdName = \"VALVE-BLOCK\";\n[IO_Info]\nDefault = 0x0008;\n"
    "CyclicInfo = 0x0008, 1, 1;\nInput1 = 2;\nOutput1 = 4;\n";

class EdsImportTest : public ::testing::Test {
protected:
    EdsImportTest() {
        test::writeText(dir / "PUMP-DRIVE.EDS", kPumpDrive);
        test::writeText(dir / "VALVE-BLOCK.EDS", kValveBlock);
        dialog.setEdsPicker([this](QWidget& parent) {
            EXPECT_EQ(&parent, &dialog);
            ++picks;
            return chosen;
        });
        dialog.FormShow();
    }
    QString cell(int row, int column) { return dialog.ASG->cells().cell(row, column); }
    void typeRow(int row, const QStringList& texts) {
        TextGridModel& cells = dialog.ASG->cells();
        for (int i = 0; i < texts.size(); ++i) {
            ASSERT_TRUE(cells.setData(cells.index(row, i + 1), texts[i]));
        }
    }
    QStringList rowTexts(int row) {
        return {cell(row, 1), cell(row, 2), cell(row, 3), cell(row, 4)};
    }
    void select(int row) { dialog.ASG->setCurrentIndex(dialog.ASG->cells().index(row, 2)); }
    QString file(const char* name) { return toQString(dir / name); }

    test::TempDir dir;
    std::filesystem::path document = dir / "DNET_Net.xml";
    test::MessageRecorder messages;
    TFDNet dialog{[this] { return document; }, messages};
    QStringList chosen;
    int picks = 0;
};

TEST_F(EdsImportTest, TheButtonStandsAtTheRightOfTheBottomBarAndIsNamedByItsText) {
    dialog.show();
    dialog.resize(800, 600);
    QApplication::processEvents();
    QPushButton* button = dialog.importEdsButton;
    EXPECT_EQ(button->text(), QString::fromUtf8("Import EDS\u2026"));
    const QRect place(button->mapTo(&dialog, QPoint(0, 0)), button->size());
    EXPECT_EQ(place.right(), 800 - 1 - 8);
    EXPECT_EQ(place.top(), 600 - 39 + 8);
    EXPECT_EQ(dialog.bitbtn1->mapTo(&dialog, QPoint(0, 0)), QPoint(8, 600 - 39 + 8));
    EXPECT_EQ(dialog.bitbtn2->mapTo(&dialog, QPoint(0, 0)), QPoint(8 + 93 + 8, 600 - 39 + 8));
    EXPECT_FALSE(button->autoDefault());
    for (const QPushButton* b : dialog.findChildren<QPushButton*>()) {
        EXPECT_EQ(b->accessibleName(), b->text());
    }
    for (const QLabel* label : dialog.findChildren<QLabel*>()) {
        if (label->buddy()) {
            EXPECT_EQ(label->buddy()->accessibleName(), label->text().trimmed());
        }
    }
}

TEST_F(EdsImportTest, FillsTheSelectedRowAndTheRowsAfterItButNoIdAndNoTypedMnemonic) {
    typeRow(2, {" 0x5", "1", "1", "Left pump"});
    typeRow(3, {"9", "", "", ""});
    select(2);
    chosen = {file("PUMP-DRIVE.EDS"), file("VALVE-BLOCK.EDS")};
    dialog.importEdsClick();
    EXPECT_EQ(picks, 1);
    EXPECT_EQ(rowTexts(2), (QStringList{" 0x5", "6", "10", "Left pump"}));
    EXPECT_EQ(rowTexts(3), (QStringList{"9", "4", "2", "VALVE-BLOCK"}));
    EXPECT_EQ(rowTexts(1), (QStringList{"", "", "", ""}));
    EXPECT_EQ(rowTexts(4), (QStringList{"", "", "", ""}));
    EXPECT_EQ(messages.messages, (std::vector<test::MessageRecorder::Message>{
                                     {Kind::Plain,
                                      "row 2: 10 bytes out, 6 in, from PUMP-DRIVE.EDS\n"
                                      "row 3: 2 bytes out, 4 in, from VALVE-BLOCK.EDS"}}));

    // Nothing is written before OK; OK writes the filled rows as typed ones.
    EXPECT_FALSE(std::filesystem::exists(document));
    typeRow(1, {"1", "0", "0", ""});
    dialog.bitbtn1Click();
    EXPECT_EQ(test::readText(document),
              "<DNET_Net><row ID=\"1\" NB_IN=\"0\" NB_OUT=\"0\" Mnemonic=\"\"/>"
              "<row ID=\" 0x5\" NB_IN=\"6\" NB_OUT=\"10\" Mnemonic=\"Left pump\"/>"
              "<row ID=\"9\" NB_IN=\"4\" NB_OUT=\"2\" Mnemonic=\"VALVE-BLOCK\"/></DNET_Net>");
}

TEST_F(EdsImportTest, ARefusedFileOrTooFewRowsFillNothing) {
    test::writeText(dir / "BIG.EDS",
                    "[IO_Info]\nDefault = 1;\nPollInfo = 1, 1, 0;\n"
                    "Input1 = 456;\n");
    test::writeText(dir / "DNET_Net.xml",
                    "<DNET_Net><row ID=\"5\" NB_IN=\"1\" NB_OUT=\"1\" Mnemonic=\"\"/></DNET_Net>");
    dialog.FormShow();
    select(1);
    struct Case {
        const char* what;
        QStringList files;
        int row;
        QString message;
    };
    const Case cases[] = {
        {"a size over 455",
         {file("PUMP-DRIVE.EDS"), file("BIG.EDS")},
         1,
         "BIG.EDS, line 4: Input1 is 456 bytes: a node exchanges at most 455\n"
         "Nothing was filled."},
        {"more files than rows",
         {file("PUMP-DRIVE.EDS"), file("VALVE-BLOCK.EDS")},
         64,
         "2 files chosen, but from row 64 on the list has room for 1: nothing was filled."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        messages.messages.clear();
        select(c.row);
        chosen = c.files;
        dialog.importEdsClick();
        EXPECT_EQ(messages.messages,
                  (std::vector<test::MessageRecorder::Message>{{Kind::Error, c.message}}));
        EXPECT_EQ(rowTexts(1), (QStringList{"5", "1", "1", ""}));
        EXPECT_EQ(rowTexts(64), (QStringList{"", "", "", ""}));
    }

    // Cancelling the file dialog changes nothing and says nothing.
    messages.messages.clear();
    chosen = {};
    dialog.importEdsClick();
    EXPECT_TRUE(messages.messages.empty());
    EXPECT_EQ(rowTexts(1), (QStringList{"5", "1", "1", ""}));
    EXPECT_EQ(test::readText(document),
              "<DNET_Net><row ID=\"5\" NB_IN=\"1\" NB_OUT=\"1\" Mnemonic=\"\"/></DNET_Net>");
}

}  // namespace
}  // namespace velmora::ui
