#include "editors/pargen_dialog.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QApplication>
#include <QButtonGroup>
#include <QComboBox>
#include <QFrame>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <algorithm>
#include <filesystem>
#include <string>

#include "core/error.h"
#include "documents/comm_lists.h"
#include "support/error_text.h"
#include "support/message_recorder.h"
#include "support/temp_dir.h"

namespace fs = std::filesystem;

namespace velmora::ui {
namespace {

using test::MessageRecorder;
using test::readText;
using test::TempDir;
using test::writeText;
using Kind = MessageRecorder::Kind;

constexpr const char* kDefaultDocument =
    "<Par_Gen><DNET_DEV_ID>10</DNET_DEV_ID><DNET_BAUD>2</DNET_BAUD><Ser_Baud>7</Ser_Baud>"
    "<Ser_Par>0</Ser_Par><Ser_ID>1</Ser_ID><Ser_Type>1</Ser_Type><Ser_Prot>0</Ser_Prot>"
    "<HW_Type>0</HW_Type></Par_Gen>";

const QString kDnetIdMessage =
    QStringLiteral("Error!! The DeviceNet Device ID must be between 0 and 63. ");
const QString kSerialIdMessage =
    QStringLiteral("Error!! The Serial ID must be between 1 and 247. ");

class PargenDialogTest : public ::testing::Test {
protected:
    fs::path file() const { return dir / "pargen.xml"; }

    // The dialog shown afresh on `content` as the document.
    void showOn(const std::string& content) {
        writeText(file(), content);
        dialog.FormShow();
    }

    // The texts of the checked radio buttons.
    QStringList checkedRadios() const {
        QStringList result;
        for (const QRadioButton* b : dialog.findChildren<QRadioButton*>()) {
            if (b->isChecked()) result << b->text();
        }
        return result;
    }

    void expectDefaultsShown() const {
        EXPECT_EQ(dialog.E_DNET_ID->text(), "10");
        EXPECT_EQ(dialog.CB_DNET_Baud->currentText(), "500K");
        EXPECT_EQ(dialog.CB_Ser_Baud->currentText(), "115200");
        EXPECT_EQ(dialog.CB_Ser_Par->currentText(), "NONE");
        EXPECT_EQ(dialog.E_Ser_ID->text(), "1");
        EXPECT_EQ(checkedRadios(), QStringList({"RS485", "Modbus RTU", "QH48203-A1"}));
    }

    TempDir dir;
    MessageRecorder messages;
    int pathCalls = 0;
    TFpargen dialog{[this] {
                        ++pathCalls;
                        return file();
                    },
                    messages};
};

TEST_F(PargenDialogTest, HasTheNamedControlsCaptionsAndShape) {
    EXPECT_EQ(pathCalls, 0) << "the path is taken when shown, not when created";
    EXPECT_EQ(dialog.windowTitle(), "SET COMMUNICATION");
    EXPECT_EQ(dialog.size(), QSize(250, 467));
    EXPECT_EQ(dialog.minimumSize(), dialog.maximumSize());
    EXPECT_FALSE(dialog.windowFlags() & Qt::WindowCloseButtonHint);
    EXPECT_FALSE(dialog.windowFlags() & Qt::WindowSystemMenuHint);
    EXPECT_EQ(dialog.palette().color(QPalette::Window), QColor(248, 247, 237));

    const std::pair<QWidget*, const char*> controls[] = {
        {dialog.E_DNET_ID, "E_DNET_ID"},       {dialog.CB_DNET_Baud, "CB_DNET_Baud"},
        {dialog.RB_Ser_232, "RB_Ser_232"},     {dialog.RB_Ser_485, "RB_Ser_485"},
        {dialog.CB_Ser_Baud, "CB_Ser_Baud"},   {dialog.CB_Ser_Par, "CB_Ser_Par"},
        {dialog.E_Ser_ID, "E_Ser_ID"},         {dialog.RB_Ser_MRTU, "RB_Ser_MRTU"},
        {dialog.RB_Ser_MASC, "RB_Ser_MASC"},   {dialog.RB_Ser_JBUS, "RB_Ser_JBUS"},
        {dialog.RB_Ser_BIN, "RB_Ser_BIN"},     {dialog.RB_Ser_ASC, "RB_Ser_ASC"},
        {dialog.RB_HWType_A1, "RB_HWType_A1"}, {dialog.RB_HWType_B2, "RB_HWType_B2"},
        {dialog.bitbtn1, "bitbtn1"},           {dialog.bitbtn2, "bitbtn2"},
    };
    for (const auto& [widget, name] : controls) {
        ASSERT_NE(widget, nullptr) << name;
        EXPECT_EQ(dialog.findChild<QWidget*>(name), widget) << name;
    }
    EXPECT_EQ(dialog.bitbtn1->text(), "OK");
    EXPECT_EQ(dialog.bitbtn2->text(), "Cancel");

    QStringList captions;
    for (const QGroupBox* g : dialog.findChildren<QGroupBox*>()) captions << g->title();
    EXPECT_EQ(captions,
              QStringList({" DeviceNet Master ", " Serial ", " Protocol ", " Hardware "}));
    QStringList labels;
    for (const QLabel* l : dialog.findChildren<QLabel*>()) labels << l->text();
    EXPECT_EQ(labels, QStringList({"ID Dev.", "Baud rate", "Baudrate", "Parity", "ID Dev."}));
    // Every field has its label as buddy: assistive tools name the field by it.
    const std::pair<QWidget*, const char*> fields[] = {
        {dialog.E_DNET_ID, "ID Dev."},    {dialog.CB_DNET_Baud, "Baud rate"},
        {dialog.CB_Ser_Baud, "Baudrate"}, {dialog.CB_Ser_Par, "Parity"},
        {dialog.E_Ser_ID, "ID Dev."},
    };
    const QList<QLabel*> all = dialog.findChildren<QLabel*>();
    for (const auto& [field, name] : fields) {
        const auto label = std::find_if(all.begin(), all.end(),
                                        [field](const QLabel* l) { return l->buddy() == field; });
        ASSERT_NE(label, all.end()) << name;
        EXPECT_EQ((*label)->text(), name);
    }

    const auto items = [](const QComboBox* box) {
        QStringList result;
        for (int i = 0; i < box->count(); ++i) result << box->itemText(i);
        return result;
    };
    EXPECT_EQ(items(dialog.CB_DNET_Baud), QStringList({"125K", "250K", "500K"}));
    EXPECT_EQ(items(dialog.CB_Ser_Baud),
              QStringList({"1200", "2400", "4800", "9600", "19200", "38400", "57600", "115200"}));
    EXPECT_EQ(items(dialog.CB_Ser_Par), QStringList({"NONE", "EVEN", "ODD"}));
    EXPECT_TRUE(dialog.CB_DNET_Baud->isEditable());
    EXPECT_FALSE(dialog.CB_Ser_Baud->isEditable());
    EXPECT_FALSE(dialog.CB_Ser_Par->isEditable());
}

// Windows shows a tool window without taking the activation from the window that opened it. The
// dialog takes it once it is on screen, and the keys typed then go to its first field.
TEST_F(PargenDialogTest, OpensActiveWithTheKeysGoingToTheFirstField) {
    QWidget opener;  // the main window, whose button opens the dialog
    opener.show();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&opener));
    writeText(file(), kDefaultDocument);
    dialog.show();
    opener.activateWindow();  // what Windows leaves active when it shows a tool window
    ASSERT_TRUE(QTest::qWaitForWindowActive(&dialog));
    EXPECT_EQ(QApplication::activeWindow(), &dialog);
    EXPECT_EQ(QApplication::focusWidget(), dialog.E_DNET_ID);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_End);
    QTest::keyClicks(QApplication::focusWidget(), "7");
    EXPECT_EQ(dialog.E_DNET_ID->text(), "107");
    dialog.done(QDialog::Rejected);
}

// The document stores what each item and radio carries, not its position on the screen.
TEST_F(PargenDialogTest, ListItemsAndRadiosCarryTheirStoredValues) {
    const auto expectItems = [](const QComboBox* box, const auto& list) {
        SCOPED_TRACE(box->objectName().toStdString());
        ASSERT_EQ(static_cast<std::size_t>(box->count()), list.size());
        for (int i = 0; i < box->count(); ++i) {
            const auto& item = list.items[static_cast<std::size_t>(i)];
            EXPECT_EQ(box->itemText(i).toStdString(), item.label);
            EXPECT_EQ(box->itemData(i), QVariant(item.value));
        }
    };
    expectItems(dialog.CB_DNET_Baud, kDnetBaudList);
    expectItems(dialog.CB_Ser_Baud, kSerialBaudList);
    expectItems(dialog.CB_Ser_Par, kSerialParityList);

    const std::pair<QRadioButton*, int> radios[] = {
        {dialog.RB_Ser_232, static_cast<int>(SerialLine::Rs232)},
        {dialog.RB_Ser_485, static_cast<int>(SerialLine::Rs485)},
        {dialog.RB_Ser_MRTU, static_cast<int>(SerialProtocol::ModbusRtu)},
        {dialog.RB_Ser_MASC, static_cast<int>(SerialProtocol::ModbusAscii)},
        {dialog.RB_Ser_JBUS, static_cast<int>(SerialProtocol::Jbus)},
        {dialog.RB_Ser_BIN, static_cast<int>(SerialProtocol::Binary)},
        {dialog.RB_Ser_ASC, static_cast<int>(SerialProtocol::Ascii)},
        {dialog.RB_HWType_A1, static_cast<int>(HardwareType::A1)},
        {dialog.RB_HWType_B2, static_cast<int>(HardwareType::B2)},
    };
    dialog.FormShow();
    for (const auto& [button, value] : radios) {
        SCOPED_TRACE(button->objectName().toStdString());
        const QButtonGroup* group = button->group();
        ASSERT_NE(group, nullptr);
        EXPECT_EQ(group->button(value), button);
        button->setChecked(true);
        EXPECT_EQ(group->checkedId(), value);
    }
    EXPECT_NE(dialog.RB_Ser_232->group(), dialog.RB_Ser_MRTU->group());
    EXPECT_NE(dialog.RB_Ser_MRTU->group(), dialog.RB_HWType_A1->group());
}

TEST_F(PargenDialogTest, WithoutADocumentOkWritesTheDefaultDocument) {
    dialog.FormShow();
    expectDefaultsShown();
    dialog.BitBtn1Click();
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_TRUE(messages.messages.empty());
    EXPECT_EQ(readText(file()), kDefaultDocument);
}

TEST_F(PargenDialogTest, ShowsEveryValueOfTheDocumentAndWritesThemBack) {
    const std::string document =
        "<Par_Gen><DNET_DEV_ID> 7</DNET_DEV_ID><DNET_BAUD>1</DNET_BAUD><Ser_Baud>3</Ser_Baud>"
        "<Ser_Par>2</Ser_Par><Ser_ID>$F7</Ser_ID><Ser_Type>0</Ser_Type><Ser_Prot>3</Ser_Prot>"
        "<HW_Type>1</HW_Type></Par_Gen>";
    showOn("<?xml version=\"1.0\"?>\n<Par_Gen>\n  " + document.substr(9));
    EXPECT_EQ(dialog.E_DNET_ID->text(), " 7");
    EXPECT_EQ(dialog.CB_DNET_Baud->currentText(), "250K");
    EXPECT_EQ(dialog.CB_Ser_Baud->currentText(), "9600");
    EXPECT_EQ(dialog.CB_Ser_Par->currentText(), "ODD");
    EXPECT_EQ(dialog.E_Ser_ID->text(), "$F7");
    EXPECT_EQ(checkedRadios(), QStringList({"RS232", "Binary", "QH48203-B2"}));
    dialog.BitBtn1Click();
    EXPECT_EQ(readText(file()), document);
}

TEST_F(PargenDialogTest, EveryShowingStartsFromTheDefaultsAndTheCurrentPath) {
    dialog.FormShow();
    dialog.E_DNET_ID->setText("33");
    dialog.CB_DNET_Baud->setEditText("999");
    dialog.RB_Ser_ASC->setChecked(true);
    dialog.bitbtn2->click();
    EXPECT_EQ(dialog.result(), QDialog::Rejected);
    EXPECT_FALSE(fs::exists(file()));

    dialog.FormShow();
    expectDefaultsShown();
    EXPECT_EQ(pathCalls, 2);
}

TEST_F(PargenDialogTest, AnUnparsableDocumentIsReportedAndTheDefaultsShown) {
    showOn("<Par_Gen><DNET_DEV_ID>3</DNET_DEV_ID><Ser_ID>5</Ser_ID>");
    ASSERT_EQ(messages.messages.size(), 1u);
    EXPECT_EQ(messages.messages[0].kind, Kind::Failure);
    EXPECT_TRUE(messages.messages[0].text.contains("\nLine: 1\n"))
        << messages.messages[0].text.toStdString();
    expectDefaultsShown();
    dialog.BitBtn1Click();
    EXPECT_EQ(readText(file()), kDefaultDocument);
}

TEST_F(PargenDialogTest, ValuesThatCannotBeReadFallBackSilently) {
    showOn(
        "<Par_Gen><DNET_DEV_ID>abc</DNET_DEV_ID><DNET_BAUD>5</DNET_BAUD><Ser_Baud>x</Ser_Baud>"
        "<Ser_ID/><Ser_Type>2</Ser_Type><Ser_Prot>7</Ser_Prot><HW_Type>01</HW_Type></Par_Gen>");
    EXPECT_TRUE(messages.messages.empty());
    EXPECT_EQ(dialog.E_DNET_ID->text(), "abc");
    EXPECT_EQ(dialog.CB_DNET_Baud->currentIndex(), -1);
    EXPECT_EQ(dialog.CB_DNET_Baud->currentText(), "");
    EXPECT_EQ(dialog.CB_Ser_Baud->currentText(), "115200");
    EXPECT_EQ(dialog.CB_Ser_Par->currentText(), "NONE");
    EXPECT_EQ(dialog.E_Ser_ID->text(), "");
    EXPECT_EQ(checkedRadios(), QStringList({"RS232", "ASCII", "QH48203-A1"}));

    showOn("<Par_Gen><Ser_Par>3</Ser_Par><Ser_Prot>x</Ser_Prot></Par_Gen>");
    EXPECT_EQ(dialog.CB_DNET_Baud->currentText(), "500K");
    EXPECT_EQ(dialog.CB_Ser_Par->currentIndex(), -1);
    EXPECT_EQ(dialog.CB_Ser_Par->currentText(), "");
    EXPECT_TRUE(dialog.RB_Ser_MRTU->isChecked());
}

TEST_F(PargenDialogTest, AnIdThatIsNotANumberIsShownAndStopsOk) {
    showOn("<Par_Gen><DNET_DEV_ID>ten</DNET_DEV_ID></Par_Gen>");
    EXPECT_EQ(dialog.E_DNET_ID->text(), "ten");
    dialog.BitBtn1Click();
    EXPECT_EQ(messages.messages,
              (std::vector<MessageRecorder::Message>{{Kind::Error, kDnetIdMessage}}));
    EXPECT_NE(dialog.result(), QDialog::Accepted);
    EXPECT_EQ(readText(file()), "<Par_Gen><DNET_DEV_ID>ten</DNET_DEV_ID></Par_Gen>");
}

// Compared by length first: a failure message quoting 40000 blanks helps nobody.
TEST_F(PargenDialogTest, LongTextsAreShownAndWrittenWhole) {
    const std::string dnetId = std::string(40000, ' ') + "5";
    const std::string serialId = std::string(33000, ' ') + "$F7";
    showOn("<Par_Gen><DNET_DEV_ID>" + dnetId + "</DNET_DEV_ID><Ser_ID>" + serialId +
           "</Ser_ID></Par_Gen>");
    EXPECT_EQ(dialog.E_DNET_ID->text().size(), dnetId.size());
    EXPECT_EQ(dialog.E_Ser_ID->text().size(), serialId.size());
    dialog.BitBtn1Click();
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    const std::string written = readText(file());
    EXPECT_NE(written.find("<DNET_DEV_ID>" + dnetId + "</DNET_DEV_ID>"), std::string::npos);
    EXPECT_NE(written.find("<Ser_ID>" + serialId + "</Ser_ID>"), std::string::npos);
}

TEST_F(PargenDialogTest, ListsWithoutAChosenItemAreWrittenAsMinusOne) {
    showOn(
        "<Par_Gen><DNET_BAUD>5</DNET_BAUD><Ser_Baud>-1</Ser_Baud><Ser_Par>9</Ser_Par></Par_Gen>");
    dialog.BitBtn1Click();
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_EQ(readText(file()),
              "<Par_Gen><DNET_DEV_ID>10</DNET_DEV_ID><DNET_BAUD>-1</DNET_BAUD>"
              "<Ser_Baud>-1</Ser_Baud><Ser_Par>-1</Ser_Par><Ser_ID>1</Ser_ID><Ser_Type>1</Ser_Type>"
              "<Ser_Prot>0</Ser_Prot><HW_Type>0</HW_Type></Par_Gen>");
}

TEST_F(PargenDialogTest, TextTypedIntoTheDeviceNetBaudListStoresOnlyAListedPosition) {
    const std::pair<const char*, const char*> cases[] = {
        {"250K", "1"}, {"125k", "0"}, {"999", "-1"}, {"", "-1"}};
    for (const auto& [typedText, stored] : cases) {
        SCOPED_TRACE(typedText);
        dialog.FormShow();
        dialog.CB_DNET_Baud->setEditText(QString::fromUtf8(typedText));
        dialog.BitBtn1Click();
        EXPECT_EQ(dialog.CB_DNET_Baud->count(), 3);
        EXPECT_THAT(readText(file()),
                    ::testing::HasSubstr(std::string("<DNET_BAUD>") + stored + "</DNET_BAUD>"));
    }
}

TEST_F(PargenDialogTest, OneCheckMessagePerClickInTheFixedOrder) {
    dialog.show();
    ASSERT_EQ(pathCalls, 1) << "showing runs FormShow";
    dialog.E_DNET_ID->setText("64");
    dialog.E_Ser_ID->setText("0");
    dialog.bitbtn1->click();
    dialog.E_DNET_ID->setText("$3F");
    dialog.BitBtn1Click();
    EXPECT_EQ(messages.messages,
              (std::vector<MessageRecorder::Message>{{Kind::Error, kDnetIdMessage},
                                                     {Kind::Error, kSerialIdMessage}}));
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_FALSE(fs::exists(file()));
    EXPECT_EQ(dialog.E_DNET_ID->text(), "$3F") << "the entries stay";

    dialog.E_Ser_ID->setText(" 5");
    dialog.BitBtn1Click();
    EXPECT_EQ(messages.messages.size(), 2u);
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_THAT(readText(file()), ::testing::HasSubstr("<DNET_DEV_ID>$3F</DNET_DEV_ID>"));
    EXPECT_THAT(readText(file()), ::testing::HasSubstr("<Ser_ID> 5</Ser_ID>"));
}

TEST_F(PargenDialogTest, RadioGroupsAllowOneChoiceEach) {
    dialog.FormShow();
    dialog.RB_Ser_232->setChecked(true);
    dialog.RB_Ser_JBUS->setChecked(true);
    dialog.RB_HWType_B2->setChecked(true);
    EXPECT_EQ(checkedRadios(), QStringList({"RS232", "JBUS", "QH48203-B2"}));
    dialog.BitBtn1Click();
    EXPECT_THAT(readText(file()),
                ::testing::HasSubstr("<Ser_Type>0</Ser_Type><Ser_Prot>2</Ser_Prot>"
                                     "<HW_Type>1</HW_Type>"));
}

TEST_F(PargenDialogTest, SavingIntoARemovedProjectFolderIsReportedAndTheDialogStaysOpen) {
    const fs::path project = dir / "project";
    fs::create_directory(project);
    TFpargen projectDialog([&] { return project / "pargen.xml"; }, messages);
    projectDialog.show();
    fs::remove(project);
    projectDialog.E_Ser_ID->setText("12");
    projectDialog.BitBtn1Click();
    ASSERT_EQ(messages.messages.size(), 1u);
    EXPECT_EQ(messages.messages[0].kind, Kind::Failure);
    EXPECT_EQ(messages.messages[0].text.toStdString(),
              test::missingFolderText() + ": " + (project / "pargen.xml").string() + ".");
    EXPECT_TRUE(projectDialog.isVisible());
    EXPECT_NE(projectDialog.result(), QDialog::Accepted);
    EXPECT_EQ(projectDialog.E_Ser_ID->text(), "12");
}

TEST_F(PargenDialogTest, AFailedSaveLeavesTheOldFileWhole) {
    showOn(kDefaultDocument);
    fs::permissions(file(), fs::perms::owner_read);
    dialog.E_DNET_ID->setText("20");
    dialog.BitBtn1Click();
    ASSERT_EQ(messages.messages.size(), 1u);
    EXPECT_EQ(messages.messages[0].kind, Kind::Failure);
    EXPECT_NE(dialog.result(), QDialog::Accepted);
    EXPECT_EQ(readText(file()), kDefaultDocument);
}

}  // namespace
}  // namespace velmora::ui
