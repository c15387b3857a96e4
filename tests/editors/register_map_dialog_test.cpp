#include "editors/register_map_dialog.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QProxyStyle>
#include <QPushButton>
#include <QStyleFactory>
#include <QTabWidget>
#include <QTest>
#include <initializer_list>
#include <ostream>

#include "support/message_recorder.h"
#include "support/temp_dir.h"
#include "ui/look.h"

// Failures show list and selector texts as text.
inline void PrintTo(const QString& text, std::ostream* os) {
    *os << '"' << text.toStdString() << '"';
}

namespace velmora::ui {
namespace {

using Kind = test::MessageRecorder::Kind;
using Message = test::MessageRecorder::Message;

const Message kInUse{Kind::Plain, "Index or Subindex Not Valid"};
const Message kSelectBytes{Kind::Plain, "Select the high and the low MODBUS byte."};

// Node 1: 4 output and 4 input bytes; node 2: none; node 3: 8 output and 2 input bytes.
const char kNodes[] =
    "<DNET_Net><row ID=\"5\" NB_IN=\"4\" NB_OUT=\"4\" Mnemonic=\"Drive\"/>"
    "<row ID=\"9\" NB_IN=\"0\" NB_OUT=\"0\" Mnemonic=\"\"/>"
    "<row ID=\"12\" NB_IN=\"2\" NB_OUT=\"8\" Mnemonic=\"\"/></DNET_Net>";
// Node 1 holds three read registers (bytes 3/4, None/1, 6/None) and one write register.
const char kRegisters[] =
    "<InfoMod><Modbus_Read><row Index=\"1\" NrDNNode=\"1\" PosComp=\"196612\"/>"
    "<row Index=\"2\" NrDNNode=\"1\" PosComp=\"1\"/>"
    "<row Index=\"16\" NrDNNode=\"1\" PosComp=\"393216\"/></Modbus_Read>"
    "<Modbus_Write><row Index=\"7\" NrDNNode=\"1\" PosComp=\"131072\"/></Modbus_Write></InfoMod>";
const char kEmptyMap[] = "<InfoMod><Modbus_Read/><Modbus_Write/></InfoMod>";

QStringList itemsOf(const QListWidget* list) {
    QStringList items;
    for (int row = 0; row < list->count(); ++row) items.append(list->item(row)->text());
    return items;
}

QStringList itemsOf(const QComboBox* box) {
    QStringList items;
    for (int i = 0; i < box->count(); ++i) items.append(box->itemText(i));
    return items;
}

QStringList choices(int bytes) {
    QStringList items{"None"};
    for (int k = 1; k <= bytes; ++k) items.append(QStringLiteral("Byte%1").arg(k));
    return items;
}

// Clicks the item at `row` of `list` with the mouse, as the user does.
void clickItem(QListWidget* list, int row, Qt::KeyboardModifiers modifiers = {}) {
    QTest::mouseClick(list->viewport(), Qt::LeftButton, modifiers,
                      list->visualItemRect(list->item(row)).center());
}

int selectedRow(const QListWidget* list) {
    const auto selected = list->selectedItems();
    return selected.isEmpty() ? -1 : list->row(selected.front());
}

class TFInfopdoMBTest : public ::testing::Test {
protected:
    // Writes the two documents (an empty text leaves a document out) and shows the dialog.
    void open(const std::string& nodes = kNodes, const std::string& registers = kRegisters) {
        if (!nodes.empty()) test::writeText(dnetFile, nodes);
        if (!registers.empty()) test::writeText(defRegFile, registers);
        dialog.FormShow();
    }
    RegisterMapPage& read() { return *dialog.TabRead; }
    RegisterMapPage& write() { return *dialog.TabWrite; }
    // Selects as a click or the keyboard does, through the list's own selection.
    void selectNode(RegisterMapPage& page, int row) { page.LDNByte->setCurrentRow(row); }
    void selectRegister(RegisterMapPage& page, int row) { page.LIndMbND->setCurrentRow(row); }
    // Fills the index field and the selectors as the user does before New or Modify.
    void enter(RegisterMapPage& page, const QString& index, int high, int low) {
        page.EIndex->setText(index);
        page.CB_HB->setCurrentIndex(high);
        page.CB_LB->setCurrentIndex(low);
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
    // Shows the dialog on an empty map, clicks the first node of the read page and types the
    // index 12 and Enter into its index field.
    void showAndEnterIndex12() {
        test::writeText(dnetFile, kNodes);
        test::writeText(defRegFile, kEmptyMap);
        dialog.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
        clickItem(dialog.LDNByteRead, 0);
        QTest::mouseClick(dialog.EIndexRead, Qt::LeftButton);
        QTest::keyClicks(dialog.EIndexRead, "12");
        QTest::keyClick(dialog.EIndexRead, Qt::Key_Return);
    }
    std::string saved() {
        dialog.bitbtn1Click();
        EXPECT_EQ(dialog.result(), QDialog::Accepted);
        return test::readText(defRegFile);
    }

    test::TempDir dir;
    std::filesystem::path dnetFile = dir / "DNET_Net.xml";
    std::filesystem::path defRegFile = dir / "DefReg.xml";
    test::MessageRecorder messages;
    TFInfopdoMB dialog{[this] { return dnetFile; }, [this] { return defRegFile; }, messages};
};

TEST_F(TFInfopdoMBTest, LooksAsDescribed) {
    EXPECT_EQ(dialog.objectName(), "FInfopdoMB");
    EXPECT_EQ(dialog.size(), QSize(505, 546));
    EXPECT_EQ(dialog.minimumSize(), dialog.maximumSize());
    EXPECT_TRUE(dialog.windowFlags() & Qt::WindowCloseButtonHint);
    EXPECT_FALSE(dialog.windowFlags() & Qt::WindowMaximizeButtonHint);
    EXPECT_EQ(dialog.PageControl1->geometry(), QRect(0, 0, 505, 505));
    EXPECT_EQ(dialog.PageControl1->tabText(0), " Modbus Register in Read ");
    EXPECT_EQ(dialog.PageControl1->tabText(1), " Modbus Register in Write ");
    EXPECT_EQ(dialog.bitbtn1->text(), "OK");
    EXPECT_EQ(dialog.bitbtn2->text(), "Cancel");
    EXPECT_LT(dialog.bitbtn2->x(), 250);
    EXPECT_GE(dialog.bitbtn1->y(), 505);
    EXPECT_EQ(dialog.palette().color(QPalette::Window), QColor(248, 247, 237));

    struct PageControls {
        RegisterMapPage* page;
        std::vector<std::pair<QWidget*, const char*>> names;
        const char* heading;
    };
    const PageControls pages[] = {
        {dialog.TabRead,
         {{dialog.LIndMbNDRead, "LIndMbNDRead"},
          {dialog.LDNByteRead, "LDNByteRead"},
          {dialog.EIndexRead, "EIndexRead"},
          {dialog.CB_HB, "CB_HB"},
          {dialog.CB_LB, "CB_LB"},
          {dialog.DELETEa_R, "DELETEa_R"},
          {dialog.NewA_R, "NewA_R"},
          {dialog.ModifyA_R, "ModifyA_R"},
          {dialog.copyA_R, "copyA_R"},
          {dialog.PasteA_R, "PasteA_R"}},
         " ID                N Byte OUT"},
        {dialog.TabWrite,
         {{dialog.LIndMbNDWrite, "LIndMbNDWrite"},
          {dialog.LDNByteWrite, "LDNByteWrite"},
          {dialog.EIndexWrite, "EIndexWrite"},
          {dialog.CB_HB_W, "CB_HB_W"},
          {dialog.CB_LB_W, "CB_LB_W"},
          {dialog.DELETEa_W, "DELETEa_W"},
          {dialog.NewA_W, "NewA_W"},
          {dialog.ModifyA_W, "ModifyA_W"},
          {dialog.copyA_W, "copyA_W"},
          {dialog.PasteA_W, "PasteA_W"}},
         " ID                N Byte IN"},
    };
    for (const PageControls& p : pages) {
        for (const auto& [widget, name] : p.names) {
            EXPECT_EQ(widget->objectName(), name);
            EXPECT_TRUE(p.page->isAncestorOf(widget)) << name;
        }
        EXPECT_EQ(p.page->LIndMbND->size(), QSize(120, 418));
        EXPECT_EQ(p.page->LDNByte->size(), QSize(168, 418));
        EXPECT_FALSE(p.page->CB_HB->isEditable());

        // Every field has its label as buddy, whose text names it.
        QStringList buddies;
        for (const QLabel* label : p.page->findChildren<QLabel*>()) {
            if (label->buddy()) {
                buddies.append(label->text());
                EXPECT_EQ(label->buddy()->accessibleName(), label->text().trimmed());
            }
        }
        buddies.sort();
        QStringList expected{"MODBUS", p.heading, "Index MODBUS", "High MODBUS Byte",
                             "Low MODBUS Byte"};
        expected.sort();
        EXPECT_EQ(buddies, expected);

        QStringList labels;
        for (const QLabel* label : p.page->findChildren<QLabel*>()) labels.append(label->text());
        EXPECT_TRUE(labels.contains("Correlated"));
        EXPECT_EQ(labels.count("Translate in "), 2);

        QStringList groups;
        for (const QGroupBox* group : p.page->findChildren<QGroupBox*>()) {
            groups.append(group->title());
        }
        EXPECT_EQ(groups, (QStringList{" Select High Byte ", " Select Low Byte "}));
        EXPECT_TRUE(p.page->findChild<QGroupBox*>()->isAncestorOf(p.page->CB_HB));

        const QStringList texts{"Delete", "New", "Modify", "Copy", "Paste"};
        const QPushButton* buttons[] = {p.page->DELETEa, p.page->NewA, p.page->ModifyA,
                                        p.page->copyA, p.page->PasteA};
        for (int i = 0; i < 5; ++i) EXPECT_EQ(buttons[i]->text(), texts[i]);
        // Delete, New and Modify in one row; Copy and then Paste under Modify.
        EXPECT_EQ(p.page->DELETEa->y(), p.page->ModifyA->y());
        EXPECT_LT(p.page->DELETEa->x(), p.page->NewA->x());
        EXPECT_LT(p.page->NewA->x(), p.page->ModifyA->x());
        EXPECT_EQ(p.page->copyA->x(), p.page->ModifyA->x());
        EXPECT_GT(p.page->copyA->y(), p.page->ModifyA->y());
        EXPECT_GT(p.page->PasteA->y(), p.page->copyA->y());
    }
    EXPECT_EQ(dialog.LDNByteRead->flow(), QListView::TopToBottom);
    EXPECT_FALSE(dialog.LDNByteRead->isWrapping());
    EXPECT_TRUE(dialog.LDNByteWrite->isWrapping());  // laid out in two columns
}

TEST_F(TFInfopdoMBTest, OpensWithOkFocusedNothingSelectedAndTheNodesListed) {
    open();
    EXPECT_EQ(dialog.windowTitle(), "Modbus Registers Definition");
    EXPECT_EQ(dialog.focusWidget(), dialog.bitbtn1);
    EXPECT_TRUE(messages.messages.empty());
    EXPECT_EQ(itemsOf(dialog.LDNByteRead), (QStringList{"5\t4", "9\t0", "12\t8"}));
    EXPECT_EQ(itemsOf(dialog.LDNByteWrite), (QStringList{"5\t4", "9\t0", "12\t2"}));
    for (const QListWidget* list :
         {dialog.LDNByteRead, dialog.LDNByteWrite, dialog.LIndMbNDRead, dialog.LIndMbNDWrite}) {
        EXPECT_EQ(selectedRow(list), -1) << list->objectName().toStdString();
    }
    EXPECT_EQ(dialog.LIndMbNDRead->count(), 0);
    EXPECT_EQ(dialog.LIndMbNDWrite->count(), 0);
    EXPECT_EQ(dialog.EIndexRead->text(), "");
}

TEST_F(TFInfopdoMBTest, EveryShowingRebuildsListsAndFieldsButKeepsSelectorsClipAndPage) {
    open();
    selectNode(read(), 0);
    selectRegister(read(), 0);
    EXPECT_EQ(dialog.EIndexRead->text(), "1");
    read().copyAClick();
    dialog.PageControl1->setCurrentIndex(1);
    dialog.bitbtn2Click();
    EXPECT_EQ(dialog.result(), QDialog::Rejected);

    test::writeText(dnetFile, "<DNET_Net><row ID=\"3\" NB_IN=\"1\" NB_OUT=\"1\"/></DNET_Net>");
    dialog.FormShow();
    EXPECT_EQ(itemsOf(dialog.LDNByteRead), QStringList{"3\t1"});
    EXPECT_EQ(dialog.LIndMbNDRead->count(), 0);
    EXPECT_EQ(dialog.EIndexRead->text(), "");
    // Kept from the last showing: the selectors with their items and selection, the page.
    EXPECT_EQ(itemsOf(dialog.CB_HB), choices(4));
    EXPECT_EQ(dialog.CB_HB->currentIndex(), 3);
    EXPECT_EQ(dialog.CB_LB->currentIndex(), 4);
    EXPECT_EQ(dialog.PageControl1->currentIndex(), 1);
    // And the copy buffer.
    write().PasteAClick();
    EXPECT_EQ(dialog.EIndexWrite->text(), "1");
}

TEST_F(TFInfopdoMBTest, ReadingFailuresAreShownInOrderAndTheDialogOpensWithWhatWasRead) {
    open("<DNET_Net><row ID=\"5\" NB_IN=\"4\" NB_OUT=\"4\"/><row ID=\"x\"/></DNET_Net>",
         "<InfoMod><Modbus_Read><row Index=\"1\" NrDNNode=\"1\" PosComp=\"0\"/>"
         "<row Index=\"2\" NrDNNode=\"0\" PosComp=\"0\"/></Modbus_Read></InfoMod>");
    EXPECT_EQ(messages.messages,
              (std::vector<Message>{{Kind::Plain, "Error in reading file PDO XML"},
                                    {Kind::Plain, "Error in reading file SDOPDO XML"}}));
    EXPECT_EQ(itemsOf(dialog.LDNByteRead), QStringList{"5\t4"});
    selectNode(read(), 0);
    EXPECT_EQ(itemsOf(dialog.LIndMbNDRead), QStringList{"Ind MB 0"});
}

TEST_F(TFInfopdoMBTest, SelectingANodeListsItsRegistersAndOffersItsBytes) {
    struct Case {
        bool readPage;
        int node;
        QStringList registers;
        int bytes;
    };
    open();
    for (const Case& c :
         {Case{true, 0, {"Ind MB 0", "Ind MB 1", "Ind MB 2"}, 4}, Case{true, 1, {}, 0},
          Case{true, 2, {}, 8}, Case{false, 0, {"Ind MB 0"}, 4}, Case{false, 2, {}, 2}}) {
        RegisterMapPage& page = c.readPage ? read() : write();
        page.EIndex->setText("left over");
        selectNode(page, c.node);
        EXPECT_EQ(itemsOf(page.LIndMbND), c.registers) << c.node;
        EXPECT_EQ(page.EIndex->text(), "");
        for (const QComboBox* box : {page.CB_HB, page.CB_LB}) {
            EXPECT_EQ(itemsOf(box), choices(c.bytes)) << c.node;
            EXPECT_EQ(box->currentIndex(), 0);
        }
    }
}

TEST_F(TFInfopdoMBTest, AHugeByteCountOffersAtMostWhatAPackedChoiceHolds) {
    open("<DNET_Net><row ID=\"5\" NB_IN=\"4\" NB_OUT=\"2147483647\"/></DNET_Net>", "");
    selectNode(read(), 0);
    EXPECT_EQ(dialog.CB_HB->count(), 65536);
    EXPECT_EQ(dialog.CB_LB->itemText(65535), "Byte65535");
    enter(read(), "3", 65535, 65535);
    read().NewAClick();
    EXPECT_TRUE(messages.messages.empty());
    EXPECT_EQ(entries(MapSide::Read, 0), QStringList{"3/-1"});
    selectRegister(read(), 0);
    EXPECT_EQ(dialog.CB_HB->currentIndex(), 65535);
    EXPECT_EQ(dialog.CB_LB->currentIndex(), 65535);
}

TEST_F(TFInfopdoMBTest, SelectingARegisterShowsItsIndexAndBytes) {
    open();
    selectNode(read(), 0);
    struct Case {
        int row;
        QString index;
        int high, low;
    };
    // A stored byte 6 on a node of 4 bytes leaves the high selector without a selection.
    for (const Case& c : {Case{0, "1", 3, 4}, Case{1, "2", 0, 1}, Case{2, "16", -1, 0}}) {
        selectRegister(read(), c.row);
        EXPECT_EQ(dialog.EIndexRead->text(), c.index);
        EXPECT_EQ(itemsOf(dialog.CB_HB), choices(4));
        EXPECT_EQ(dialog.CB_HB->currentIndex(), c.high) << c.row;
        EXPECT_EQ(dialog.CB_LB->currentIndex(), c.low) << c.row;
    }
    EXPECT_TRUE(messages.messages.empty());
}

TEST_F(TFInfopdoMBTest, ABytelessSelectorRefusesNewAndModify) {
    open();
    selectNode(read(), 0);
    selectRegister(read(), 2);  // high byte 6 of a node of 4
    dialog.EIndexRead->setText("30");
    read().ModifyAClick();
    read().NewAClick();
    EXPECT_EQ(messages.messages, (std::vector<Message>{kSelectBytes, kSelectBytes}));
    EXPECT_EQ(entries(MapSide::Read, 0), (QStringList{"1/196612", "2/1", "16/393216"}));
    EXPECT_EQ(dialog.LIndMbNDRead->count(), 3);
}

TEST_F(TFInfopdoMBTest, ANonIntegerPosCompIsReportedWhenItsRegisterIsSelected) {
    open(kNodes,
         "<InfoMod><Modbus_Read><row Index=\"4\" NrDNNode=\"3\" PosComp=\"high\"/></Modbus_Read>"
         "<Modbus_Write/></InfoMod>");
    selectNode(read(), 2);
    dialog.CB_HB->setCurrentIndex(5);
    selectRegister(read(), 0);
    EXPECT_EQ(messages.messages,
              (std::vector<Message>{{Kind::Failure, "PosComp \"high\" is not an integer."}}));
    EXPECT_EQ(dialog.EIndexRead->text(), "4");
    EXPECT_EQ(dialog.CB_HB->currentIndex(), 0);  // refilled before the failure
}

TEST_F(TFInfopdoMBTest, NewAddsAnItemNumberedByTheCountAndSelectedWithoutReselecting) {
    open();
    selectNode(read(), 0);
    enter(read(), " 0x20", 2, 3);
    read().NewAClick();
    EXPECT_TRUE(messages.messages.empty());
    EXPECT_EQ(itemsOf(dialog.LIndMbNDRead),
              (QStringList{"Ind MB 0", "Ind MB 1", "Ind MB 2", "Ind Mb 3"}));
    EXPECT_EQ(selectedRow(dialog.LIndMbNDRead), 3);
    EXPECT_EQ(dialog.EIndexRead->text(), " 0x20");
    EXPECT_EQ(dialog.CB_HB->currentIndex(), 2);
    EXPECT_EQ(entries(MapSide::Read, 0).back(), " 0x20/131075");

    // Selecting the node again renumbers; selecting the new item shows what was stored.
    selectNode(read(), 1);
    selectNode(read(), 0);
    EXPECT_EQ(itemsOf(dialog.LIndMbNDRead).back(), "Ind MB 3");
    selectRegister(read(), 3);
    EXPECT_EQ(dialog.EIndexRead->text(), " 0x20");
    EXPECT_EQ(dialog.CB_LB->currentIndex(), 3);
}

TEST_F(TFInfopdoMBTest, NewChecksTheIndexOnItsOwnPageOnly) {
    open();
    struct Case {
        bool readPage;
        const char* index;
        bool added;
        std::vector<Message> shown;
    };
    const Case cases[] = {
        {true, "1", false, {kInUse}},     // in use on node 1 of the read page
        {true, "0x10", false, {kInUse}},  // the value of 16, as another text
        {true, "70000", false, {}},       // out of range: silently refused
        {true, "-1", false, {}},          //
        {false, "1", true, {}},           // the write page has its own indexes
        {false, "7", false, {kInUse}},    //
        {true, "5", true, {}},            //
        {true, "5", false, {kInUse}},     // the same index twice
    };
    for (const Case& c : cases) {
        RegisterMapPage& page = c.readPage ? read() : write();
        selectNode(page, 2);
        const int before = page.LIndMbND->count();
        messages.messages.clear();
        page.EIndex->setText(c.index);
        page.NewAClick();
        EXPECT_EQ(messages.messages, c.shown) << c.index;
        EXPECT_EQ(page.LIndMbND->count(), before + (c.added ? 1 : 0)) << c.index;
    }
    EXPECT_EQ(entries(MapSide::Read, 2), QStringList{"5/0"});  // None and None pack to 0
    EXPECT_EQ(entries(MapSide::Write, 2), QStringList{"1/0"});
}

TEST_F(TFInfopdoMBTest, NewWithoutANodeOrWithAnEmptyIndexOnAnEmptyMapDoesNothing) {
    open(kNodes, "");
    dialog.EIndexRead->setText("3");
    read().NewAClick();
    selectNode(read(), 0);
    dialog.EIndexRead->setText("");
    read().NewAClick();
    EXPECT_TRUE(messages.messages.empty());
    EXPECT_EQ(dialog.LIndMbNDRead->count(), 0);
    EXPECT_EQ(saved(), kEmptyMap);
}

TEST_F(TFInfopdoMBTest, ANonIntegerIndexIsReportedWhenTheMapHoldsRegisters) {
    open();
    selectNode(read(), 2);
    dialog.EIndexRead->setText("abc");
    read().NewAClick();
    EXPECT_EQ(messages.messages,
              (std::vector<Message>{{Kind::Failure, "Index \"abc\" is not an integer."}}));
    EXPECT_EQ(dialog.LIndMbNDRead->count(), 0);
}

TEST_F(TFInfopdoMBTest, ModifyChangesTheSelectedRegisterAndKeepsTheItemTexts) {
    open();
    selectNode(read(), 0);
    read().ModifyAClick();  // no register selected: nothing
    selectRegister(read(), 0);
    dialog.CB_LB->setCurrentIndex(2);  // the index itself stays
    read().ModifyAClick();
    dialog.EIndexRead->setText("65536");
    read().ModifyAClick();
    dialog.EIndexRead->setText("2");  // the next register's index
    read().ModifyAClick();
    EXPECT_EQ(messages.messages, std::vector<Message>{kInUse});
    selectRegister(read(), 1);
    enter(read(), "$21", 1, 0);
    read().ModifyAClick();
    EXPECT_EQ(messages.messages.size(), 1u);
    EXPECT_EQ(entries(MapSide::Read, 0), (QStringList{"1/196610", "$21/65536", "16/393216"}));
    EXPECT_EQ(itemsOf(dialog.LIndMbNDRead), (QStringList{"Ind MB 0", "Ind MB 1", "Ind MB 2"}));
}

TEST_F(TFInfopdoMBTest, DeleteRemovesTheRegisterAndRenumbersOnlyWhenTheNodeIsSelectedAgain) {
    open();
    selectNode(read(), 0);
    read().DELETEaClick();  // nothing selected: nothing
    selectRegister(read(), 1);
    read().DELETEaClick();
    EXPECT_EQ(itemsOf(dialog.LIndMbNDRead), (QStringList{"Ind MB 0", "Ind MB 2"}));
    EXPECT_EQ(selectedRow(dialog.LIndMbNDRead), -1);
    EXPECT_EQ(dialog.EIndexRead->text(), "2");  // the field keeps what it showed
    EXPECT_EQ(entries(MapSide::Read, 0), (QStringList{"1/196612", "16/393216"}));
    selectNode(read(), 1);
    selectNode(read(), 0);
    EXPECT_EQ(itemsOf(dialog.LIndMbNDRead), (QStringList{"Ind MB 0", "Ind MB 1"}));
    EXPECT_TRUE(messages.messages.empty());
}

TEST_F(TFInfopdoMBTest, CopyOnTheReadPageThenPasteOnTheWritePage) {
    open();
    selectNode(read(), 0);
    enter(read(), "0x30", 2, 1);
    read().copyAClick();
    selectNode(write(), 0);
    write().PasteAClick();
    EXPECT_EQ(dialog.EIndexWrite->text(), "0x30");
    EXPECT_EQ(dialog.CB_HB_W->currentText(), "Byte2");
    EXPECT_EQ(dialog.CB_LB_W->currentText(), "Byte1");
    EXPECT_EQ(entries(MapSide::Write, 0), QStringList{"7/131072"});  // Paste only fills
    write().NewAClick();
    EXPECT_EQ(entries(MapSide::Write, 0), (QStringList{"7/131072", "0x30/131073"}));

    // A pasted choice the node lacks leaves its selector without a selection.
    selectNode(write(), 2);  // 2 input bytes
    enter(write(), "9", 0, 2);
    write().copyAClick();
    selectNode(write(), 1);  // no input bytes
    write().PasteAClick();
    EXPECT_EQ(dialog.CB_HB_W->currentIndex(), 0);
    EXPECT_EQ(dialog.CB_LB_W->currentIndex(), -1);
    EXPECT_TRUE(messages.messages.empty());
}

// A selector without a selection is carried as a blank, never packed into another byte; a
// blank the user then fills gives the register exactly the two bytes shown.
TEST_F(TFInfopdoMBTest, CopyAndPasteKeepABlankSelectorBlank) {
    struct Case {
        int high, low;
        const char* filled;  // PosComp after the blanks are set to Byte4 and New
    };
    for (const Case& c :
         {Case{2, -1, "131076"}, Case{-1, 3, "262147"}, Case{-1, -1, "262148"}, Case{0, -1, "4"},
          Case{-1, 0, "262144"}, Case{3, 0, "196608"}, Case{0, 0, "0"}}) {
        SCOPED_TRACE(testing::Message() << "high " << c.high << ", low " << c.low);
        open();
        selectNode(read(), 0);
        enter(read(), "40", c.high, c.low);
        read().copyAClick();
        selectNode(write(), 0);
        enter(write(), "", 1, 1);
        write().PasteAClick();
        EXPECT_EQ(dialog.EIndexWrite->text(), "40");
        EXPECT_EQ(dialog.CB_HB_W->currentIndex(), c.high);
        EXPECT_EQ(dialog.CB_LB_W->currentIndex(), c.low);
        for (QComboBox* box : {dialog.CB_HB_W, dialog.CB_LB_W}) {
            if (box->currentIndex() < 0) box->setCurrentIndex(4);
        }
        write().NewAClick();
        EXPECT_EQ(entries(MapSide::Write, 0).back(), QStringLiteral("40/") + c.filled);
    }
    EXPECT_TRUE(messages.messages.empty());
}

TEST_F(TFInfopdoMBTest, PasteBeforeAnyCopyEmptiesTheIndexAndShowsNone) {
    open();
    selectNode(read(), 0);
    enter(read(), "4", 2, 3);
    read().PasteAClick();
    EXPECT_EQ(dialog.EIndexRead->text(), "");
    EXPECT_EQ(dialog.CB_HB->currentText(), "None");
    EXPECT_EQ(dialog.CB_LB->currentText(), "None");
    EXPECT_TRUE(messages.messages.empty());
}

TEST_F(TFInfopdoMBTest, OkWritesTheEditsAndCancelLeavesTheDocumentUntouched) {
    open();
    selectNode(read(), 2);
    enter(read(), "3", 8, 0);
    read().NewAClick();
    dialog.bitbtn2Click();
    EXPECT_EQ(dialog.result(), QDialog::Rejected);
    EXPECT_EQ(test::readText(defRegFile), kRegisters);

    dialog.FormShow();  // the next showing shows the document, not the dropped edit
    selectNode(read(), 2);
    EXPECT_EQ(dialog.LIndMbNDRead->count(), 0);
    enter(read(), "3", 8, 0);
    read().NewAClick();
    EXPECT_EQ(saved(),
              "<InfoMod><Modbus_Read><row Index=\"1\" NrDNNode=\"1\" PosComp=\"196612\"/>"
              "<row Index=\"2\" NrDNNode=\"1\" PosComp=\"1\"/>"
              "<row Index=\"3\" NrDNNode=\"3\" PosComp=\"524288\"/>"
              "<row Index=\"16\" NrDNNode=\"1\" PosComp=\"393216\"/></Modbus_Read>"
              "<Modbus_Write><row Index=\"7\" NrDNNode=\"1\" PosComp=\"131072\"/>"
              "</Modbus_Write></InfoMod>");
}

TEST_F(TFInfopdoMBTest, OkWithoutTheDeviceNetDocumentWritesTwoEmptyLists) {
    open("", kRegisters);
    EXPECT_EQ(messages.messages,
              (std::vector<Message>{{Kind::Plain, "Error in reading file SDOPDO XML"}}));
    EXPECT_EQ(dialog.LDNByteRead->count(), 0);
    EXPECT_EQ(saved(), kEmptyMap);
}

TEST_F(TFInfopdoMBTest, AFailedSaveIsReportedAndKeepsTheDialogOpen) {
    open();
    defRegFile = dir / "gone" / "DefReg.xml";
    dialog.setResult(-1);
    dialog.bitbtn1Click();
    ASSERT_EQ(messages.messages.size(), 1u);
    EXPECT_EQ(messages.messages[0].kind, Kind::Failure);
    EXPECT_EQ(dialog.result(), -1);
}

// Real clicks and keys: a click selects, the keyboard moves the selection, and a click on the
// selected node selects it again, which closes up the register numbers after a Delete.
TEST_F(TFInfopdoMBTest, ClicksAndKeysSelectAndAClickOnTheSelectedNodeRenumbers) {
    test::writeText(dnetFile, kNodes);
    test::writeText(defRegFile, kRegisters);
    dialog.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
    clickItem(dialog.LDNByteRead, 0);
    EXPECT_EQ(dialog.LIndMbNDRead->count(), 3);
    clickItem(dialog.LIndMbNDRead, 1);
    EXPECT_EQ(dialog.EIndexRead->text(), "2");
    QTest::keyClick(dialog.LIndMbNDRead, Qt::Key_Down);
    EXPECT_EQ(dialog.EIndexRead->text(), "16");
    dialog.DELETEa_R->click();
    EXPECT_EQ(itemsOf(dialog.LIndMbNDRead), (QStringList{"Ind MB 0", "Ind MB 1"}));
    clickItem(dialog.LIndMbNDRead, 0);
    dialog.DELETEa_R->click();
    EXPECT_EQ(itemsOf(dialog.LIndMbNDRead), QStringList{"Ind MB 1"});
    clickItem(dialog.LDNByteRead, 0);
    EXPECT_EQ(itemsOf(dialog.LIndMbNDRead), QStringList{"Ind MB 0"});
    QTest::keyClick(dialog.LDNByteRead, Qt::Key_Down);
    EXPECT_EQ(dialog.LIndMbNDRead->count(), 0);
    EXPECT_EQ(dialog.CB_HB->count(), 1);
    dialog.close();  // the close box acts as Cancel
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_EQ(dialog.result(), QDialog::Rejected);
    EXPECT_EQ(test::readText(defRegFile), kRegisters);
}

// Enter in the index field or a byte selector takes the typed register, as New does, and the
// dialog stays open for the next one.
TEST_F(TFInfopdoMBTest, EnterInTheIndexFieldOrASelectorAddsTheRegister) {
    showAndEnterIndex12();
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_EQ(itemsOf(dialog.LIndMbNDRead), QStringList{"Ind Mb 0"});
    EXPECT_EQ(entries(MapSide::Read, 0), QStringList{"12/0"});

    QTest::keyClick(dialog.EIndexRead, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClicks(dialog.EIndexRead, "13");
    dialog.CB_HB->setFocus();
    QTest::keyClick(dialog.CB_HB, Qt::Key_Down);
    QTest::keyClick(dialog.CB_HB, Qt::Key_Enter);
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_EQ(entries(MapSide::Read, 0), (QStringList{"12/0", "13/65536"}));
    // Enter again on the same register: refused as New refuses it, and the dialog stays.
    QTest::keyClick(dialog.CB_LB, Qt::Key_Return);
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_EQ(entries(MapSide::Read, 0).size(), 2);
    EXPECT_EQ(messages.messages, std::vector<Message>{kInUse});
    EXPECT_EQ(test::readText(defRegFile), kEmptyMap);
}

// Enter anywhere else confirms the dialog with every edit, wherever the focus went: on a node,
// on a register, on a page button, even on Cancel. It never closes as Cancel.
TEST_F(TFInfopdoMBTest, EnterElsewhereConfirmsTheEdits) {
    for (QWidget* focus : std::initializer_list<QWidget*>{dialog.LDNByteRead, dialog.LIndMbNDRead,
                                                          dialog.NewA_R, dialog.bitbtn2}) {
        SCOPED_TRACE(focus->objectName().toStdString());
        showAndEnterIndex12();
        if (HasFatalFailure()) return;
        focus->setFocus();
        QTest::keyClick(focus, Qt::Key_Return);
        EXPECT_FALSE(dialog.isVisible());
        EXPECT_EQ(dialog.result(), QDialog::Accepted);
        EXPECT_EQ(test::readText(defRegFile),
                  "<InfoMod><Modbus_Read><row Index=\"12\" NrDNNode=\"1\" PosComp=\"0\"/>"
                  "</Modbus_Read><Modbus_Write/></InfoMod>");
    }
    EXPECT_TRUE(messages.messages.empty());
}

// The node stays chosen while its registers are shown: a click beside the items, a Ctrl+click
// or Ctrl+Space on the chosen node does not drop it, so New still adds to that node.
TEST_F(TFInfopdoMBTest, TheNodeListKeepsItsNodeOnAClickBesideTheItemsOrACtrlClick) {
    test::writeText(dnetFile, kNodes);
    test::writeText(defRegFile, kRegisters);
    dialog.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
    struct Case {
        RegisterMapPage* page;
        MapSide side;
        int registers;
    };
    for (const Case& c : {Case{&read(), MapSide::Read, 3}, Case{&write(), MapSide::Write, 1}}) {
        SCOPED_TRACE(c.page->LDNByte->objectName().toStdString());
        dialog.PageControl1->setCurrentWidget(c.page);
        QListWidget* nodes = c.page->LDNByte;
        // Below the read page's one column, and beside the write page's first.
        const QPoint empty(nodes->viewport()->width() - 4, nodes->viewport()->height() - 4);
        ASSERT_EQ(nodes->itemAt(empty), nullptr);
        clickItem(nodes, 0);
        QTest::mouseClick(nodes->viewport(), Qt::LeftButton, {}, empty);
        EXPECT_EQ(selectedRow(nodes), 0);
        clickItem(nodes, 0, Qt::ControlModifier);
        EXPECT_EQ(selectedRow(nodes), 0);
        QTest::keyClick(nodes, Qt::Key_Space, Qt::ControlModifier);
        EXPECT_EQ(selectedRow(nodes), 0);
        EXPECT_EQ(c.page->LIndMbND->count(), c.registers);
        enter(*c.page, "30", 1, 2);
        c.page->NewA->click();
        EXPECT_EQ(entries(c.side, 0).size(), c.registers + 1);
    }
    EXPECT_TRUE(messages.messages.empty());
}

// The write page lists two columns; an ID and a three-digit count fit one of them whole, in the
// look's font, and the whole text is the item's tooltip.
TEST_F(TFInfopdoMBTest, AThreeDigitCountFitsItsColumn) {
    test::writeText(
        dnetFile,
        "<DNET_Net><row ID=\"63\" NB_IN=\"455\" NB_OUT=\"455\" Mnemonic=\"\"/></DNET_Net>");
    test::writeText(defRegFile, kEmptyMap);
    dialog.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
    for (RegisterMapPage* page : {&read(), &write()}) {
        SCOPED_TRACE(page->LDNByte->objectName().toStdString());
        dialog.PageControl1->setCurrentWidget(page);
        EXPECT_EQ(page->LDNByte->font(), lookFont());
        EXPECT_TRUE(page->nodeItemFits(QStringLiteral("63\t455")));
        EXPECT_EQ(page->LDNByte->item(0)->toolTip(), "63 455");
    }
    // The column measured is the one laid out: two of them side by side in the list.
    QListWidget* nodes = dialog.LDNByteWrite;
    EXPECT_LE(2 * nodes->visualItemRect(nodes->item(0)).width(), nodes->viewport()->width());
}

// The name of the style the look draws over.
QString baseStyleName() {
    const auto* proxy = qobject_cast<const QProxyStyle*>(QApplication::style());
    return (proxy && proxy->baseStyle() ? proxy->baseStyle() : QApplication::style())->name();
}

// Every label of a page shows its whole text in the look's font, under the Windows style and
// under Fusion, though the platform's own font is narrower than the look's (as Windows' is):
// "N Byte OUT" is not cut to "N Byte O".
TEST_F(TFInfopdoMBTest, EveryPageLabelShowsItsWholeTextUnderEachStyle) {
    const QString platformStyle = baseStyleName();
    const QFont platformFont = QApplication::font();
    QFont narrow = platformFont;
    narrow.setPointSize(6);
    QApplication::setFont(narrow);
    for (const char* style : {"windows", "fusion"}) {
        SCOPED_TRACE(style);
        QApplication::setStyle(QStyleFactory::create(QString::fromLatin1(style)));
        TFInfopdoMB styled{[this] { return dnetFile; }, [this] { return defRegFile; }, messages};
        EXPECT_EQ(baseStyleName(), QString::fromLatin1(style));
        styled.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&styled));
        for (RegisterMapPage* page : {styled.TabRead, styled.TabWrite}) {
            styled.PageControl1->setCurrentWidget(page);
            for (const QLabel* label : page->findChildren<QLabel*>()) {
                SCOPED_TRACE(label->text().toStdString());
                EXPECT_EQ(label->font(), lookFont());
                EXPECT_GE(label->contentsRect().width(),
                          label->fontMetrics().horizontalAdvance(label->text()));
            }
            // The heading stands over its list, left of the right column.
            for (const QLabel* label : page->findChildren<QLabel*>()) {
                if (label->buddy() == page->LDNByte) {
                    EXPECT_LT(label->geometry().right(), page->EIndex->x());
                }
            }
        }
        styled.done(QDialog::Rejected);
    }
    QApplication::setFont(platformFont);
    QApplication::setStyle(QStyleFactory::create(platformStyle));
}

}  // namespace
}  // namespace velmora::ui
