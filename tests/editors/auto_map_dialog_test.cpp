#include <gtest/gtest.h>

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <functional>

#include "editors/auto_map_dialog.h"
#include "editors/register_map_dialog.h"
#include "support/message_recorder.h"
#include "support/temp_dir.h"

namespace velmora::ui {
namespace {

// Node 1 (ID 5): 4 input and 3 output bytes; node 2: none; node 3: 2 and 8.
const char kNodes[] =
    "<DNET_Net><row ID=\"5\" NB_IN=\"4\" NB_OUT=\"3\" Mnemonic=\"\"/>"
    "<row ID=\"9\" NB_IN=\"0\" NB_OUT=\"0\" Mnemonic=\"\"/>"
    "<row ID=\"12\" NB_IN=\"2\" NB_OUT=\"8\" Mnemonic=\"\"/></DNET_Net>";
// One hand-made read register: index 1, byte 1 of node 1 in its low half.
const char kHandMade[] =
    "<InfoMod><Modbus_Read><row Index=\"1\" NrDNNode=\"1\" PosComp=\"1\"/></Modbus_Read>"
    "<Modbus_Write/></InfoMod>";

QStringList itemsOf(const QListWidget* list) {
    QStringList items;
    for (int row = 0; row < list->count(); ++row) items.append(list->item(row)->text());
    return items;
}

class AutoMapButton : public ::testing::Test {
protected:
    void SetUp() override {
        test::writeText(dnetFile, kNodes);
        test::writeText(defRegFile, kHandMade);
        dialog.FormShow();
    }
    // Presses "Auto Map…"; the options dialog gets `choose`, then has its OK pressed.
    void autoMapWith(const std::function<void(TFAutoMap&)>& choose = {}) {
        dialog.setModalRunner([&](QDialog& shown) {
            ASSERT_EQ(&shown, dialog.FAutoMap);
            if (choose) choose(*dialog.FAutoMap);
            dialog.FAutoMap->bitbtn1->click();
        });
        dialog.AutoMapA->click();
    }
    // The entries of one node of one side as "Index/PosComp" texts.
    QStringList entries(MapSide side, std::size_t node) {
        QStringList texts;
        for (const TClIndMB& entry :
             dialog.registerMap().nodeLists->list(side).at(node).IndMBList) {
            texts.append(QString::fromStdString(entry.Index() + "/" + entry.PosComp()));
        }
        return texts;
    }

    test::TempDir dir;
    std::filesystem::path dnetFile = dir / "DNET_Net.xml";
    std::filesystem::path defRegFile = dir / "DefReg.xml";
    test::MessageRecorder messages;
    TFInfopdoMB dialog{[this] { return dnetFile; }, [this] { return defRegFile; }, messages};
};

TEST_F(AutoMapButton, SitsAtTheRightOfTheBottomBarBesideTheGivenButtons) {
    EXPECT_EQ(dialog.AutoMapA->text(), QString::fromUtf8("Auto Map\u2026"));
    EXPECT_EQ(dialog.AutoMapA->accessibleName(), dialog.AutoMapA->text());
    const QRect bar(0, 505, 505, 41);
    EXPECT_TRUE(bar.contains(dialog.AutoMapA->geometry())) << dialog.AutoMapA->geometry().x();
    EXPECT_EQ(dialog.AutoMapA->geometry().right(), 505 - 8 - 1);
    for (const QPushButton* given : {dialog.bitbtn1, dialog.bitbtn2}) {
        EXPECT_FALSE(given->geometry().intersects(dialog.AutoMapA->geometry()));
    }
    EXPECT_FALSE(dialog.AutoMapA->autoDefault());
    EXPECT_TRUE(dialog.bitbtn1->isDefault());

    // Every field of the options dialog is named by its label, every control by its text.
    const TFAutoMap& options = *dialog.FAutoMap;
    for (const QLabel* label : options.findChildren<QLabel*>()) {
        ASSERT_NE(label->buddy(), nullptr) << label->text().toStdString();
        EXPECT_EQ(label->buddy()->accessibleName(), label->text());
    }
    for (const QAbstractButton* b : options.findChildren<QAbstractButton*>()) {
        EXPECT_EQ(b->accessibleName(), b->text());
    }
    EXPECT_EQ(options.E_ReadStart->text(), "0");
    EXPECT_TRUE(options.RB_FirstLow->isChecked());
    EXPECT_TRUE(options.RB_Add->isChecked());
}

TEST_F(AutoMapButton, ShowsTheResultAtOnceAndOnlyOkWritesIt) {
    dialog.LDNByteRead->setCurrentRow(0);
    ASSERT_EQ(itemsOf(dialog.LIndMbNDRead), QStringList{"Ind MB 0"});
    autoMapWith();
    // Byte 1 is carried by hand at index 1: byte 2 goes high beside None, byte 3 low.
    EXPECT_EQ(entries(MapSide::Read, 0), (QStringList{"1/1", "0/131072", "2/3"}));
    EXPECT_EQ(entries(MapSide::Read, 2),
              (QStringList{"3/131073", "4/262147", "5/393221", "6/524295"}));
    EXPECT_EQ(entries(MapSide::Write, 0), (QStringList{"0/131073", "1/262147"}));
    EXPECT_EQ(itemsOf(dialog.LIndMbNDRead), (QStringList{"Ind MB 0", "Ind MB 1", "Ind MB 2"}));
    EXPECT_TRUE(messages.messages.empty());
    EXPECT_EQ(test::readText(defRegFile), kHandMade);

    dialog.bitbtn2Click();
    EXPECT_EQ(test::readText(defRegFile), kHandMade);
    dialog.FormShow();
    autoMapWith();
    dialog.bitbtn1Click();
    const std::string once = test::readText(defRegFile);
    EXPECT_NE(once.find("<row Index=\"0\" NrDNNode=\"1\" PosComp=\"131072\"/>"
                        "<row Index=\"1\" NrDNNode=\"1\" PosComp=\"1\"/>"),
              std::string::npos)
        << once;
    // A second auto map finds every byte carried.
    dialog.FormShow();
    autoMapWith();
    dialog.bitbtn1Click();
    EXPECT_EQ(test::readText(defRegFile), once);
}

TEST_F(AutoMapButton, TheChoicesOfTheOptionsDialogAreUsed) {
    autoMapWith([](TFAutoMap& options) {
        options.CB_Read->setChecked(false);
        options.E_WriteStart->setText("0x10");
        options.RB_FirstHigh->setChecked(true);
        options.RB_Replace->setChecked(true);
    });
    EXPECT_EQ(entries(MapSide::Read, 0), QStringList{"1/1"});
    EXPECT_EQ(entries(MapSide::Write, 0), (QStringList{"16/65538", "17/196612"}));
    EXPECT_EQ(entries(MapSide::Write, 2), QStringList{"18/65538"});
}

TEST_F(AutoMapButton, CancelOrAFaultyChoiceChangesNothing) {
    dialog.setModalRunner([&](QDialog&) { dialog.FAutoMap->bitbtn2->click(); });
    dialog.AutoMapA->click();
    EXPECT_EQ(dialog.FAutoMap->result(), QDialog::Rejected);
    EXPECT_EQ(entries(MapSide::Write, 0), QStringList{});

    struct Case {
        std::function<void(TFAutoMap&)> choose;
        const char* message;
    };
    const Case cases[] = {
        {[](TFAutoMap& o) { o.E_ReadStart->setText("65536"); },
         "A start index must be a number from 0 to 65535."},
        {[](TFAutoMap& o) { o.E_WriteStart->setText(""); },
         "A start index must be a number from 0 to 65535."},
        {[](TFAutoMap& o) {
             o.CB_Read->setChecked(false);
             o.CB_Write->setChecked(false);
         },
         "Choose the read page, the write page or both."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.message);
        messages.messages.clear();
        autoMapWith(c.choose);
        EXPECT_NE(dialog.FAutoMap->result(), QDialog::Accepted);
        ASSERT_EQ(messages.messages.size(), 1u);
        EXPECT_EQ(messages.messages[0].text, c.message);
        EXPECT_EQ(entries(MapSide::Write, 0), QStringList{});
        // Put back as the user would.
        dialog.FAutoMap->CB_Read->setChecked(true);
        dialog.FAutoMap->CB_Write->setChecked(true);
        dialog.FAutoMap->E_ReadStart->setText("0");
        dialog.FAutoMap->E_WriteStart->setText("0");
    }
}

TEST_F(AutoMapButton, BytesPastIndex65535AreNamed) {
    autoMapWith([](TFAutoMap& options) {
        options.E_ReadStart->setText("65535");
        options.CB_Write->setChecked(false);
    });
    ASSERT_EQ(messages.messages.size(), 1u);
    EXPECT_EQ(messages.messages[0].text,
              "These bytes found no free index up to 65535:\n"
              "Read map, node 1: byte 3\n"
              "Read map, node 3: bytes 1 to 8");
    EXPECT_EQ(entries(MapSide::Read, 0), (QStringList{"1/1", "65535/131072"}));
}

}  // namespace
}  // namespace velmora::ui
