#include "editors/text_grid.h"

#include <gtest/gtest.h>
#include <QApplication>
#include <QClipboard>
#include <QHeaderView>
#include <QStyle>
#include <QTest>

namespace velmora::ui {
namespace {

// A grid of 4 body rows and 3 body columns below its headings.
class TextGridTest : public ::testing::Test {
protected:
    void SetUp() override {
        for (int column = 0; column < 4; ++column)
            cells().setCell(0, column, QString("H%1").arg(column));
        for (int row = 1; row < 5; ++row) cells().setCell(row, 0, QString::number(row));
    }

    TextGridModel& cells() { return grid.cells(); }
    QString cell(int row, int column) { return cells().cell(row, column); }
    void put(int row, int column, const QString& text) {
        cells().setData(cells().index(row, column), text);
    }
    void goTo(int row, int column) { grid.setCurrentIndex(cells().index(row, column)); }
    void select(int top, int left, int bottom, int right) {
        grid.selectionModel()->select(
            QItemSelection(cells().index(top, left), cells().index(bottom, right)),
            QItemSelectionModel::ClearAndSelect);
    }
    // Shows the grid as the active window, so typed keys reach the editors it opens.
    void activate() {
        grid.show();
        grid.activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&grid));
        grid.setFocus();
    }
    QPoint current() { return {grid.currentIndex().row(), grid.currentIndex().column()}; }

    TextGrid grid{5, 4};
};

TEST_F(TextGridTest, HeadingsAreFixedAndShownByTheHeaderViews) {
    EXPECT_EQ(cells().rowCount(), 5);
    EXPECT_EQ(cells().columnCount(), 4);
    EXPECT_EQ(cells().headerData(2, Qt::Horizontal).toString(), "H2");
    EXPECT_EQ(cells().headerData(3, Qt::Vertical).toString(), "3");
    EXPECT_TRUE(cells().headerData(2, Qt::Horizontal, Qt::FontRole).value<QFont>().bold());
    EXPECT_TRUE(grid.isRowHidden(0));
    EXPECT_TRUE(grid.isColumnHidden(0));
    for (const auto& [row, column] : {std::pair{0, 1}, std::pair{1, 0}, std::pair{0, 0}}) {
        EXPECT_FALSE(cells().flags(cells().index(row, column)) & Qt::ItemIsEditable);
        EXPECT_FALSE(cells().setData(cells().index(row, column), "x"));
    }
    EXPECT_EQ(cell(0, 1), "H1");
    EXPECT_EQ(cell(1, 0), "1");
}

// A column is at least its given width and widened to its heading's text in the font the
// header draws with, whichever font that turns out to be.
TEST_F(TextGridTest, ColumnsKeepTheirWidthAndMakeRoomForTheirHeadings) {
    QFont large = grid.horizontalHeader()->font();
    large.setPointSize(24);
    grid.horizontalHeader()->setFont(large);
    grid.verticalHeader()->setFont(large);
    cells().setCell(0, 2, "A LONG HEADING");
    cells().setCell(0, 0, "ROW");
    const int margins = 2 * grid.style()->pixelMetric(QStyle::PM_HeaderMargin);
    for (int column = 0; column < 4; ++column) {
        SCOPED_TRACE(column);
        grid.setGridColumnWidth(column, 30);
        const int width = column == 0 ? grid.verticalHeader()->width() : grid.columnWidth(column);
        QFont bold = large;
        bold.setBold(true);
        EXPECT_GE(width, 30);
        EXPECT_GE(width, QFontMetrics(bold).horizontalAdvance(cell(0, column)) + margins);
    }
    EXPECT_GT(grid.columnWidth(2), grid.columnWidth(1));  // the longer heading
    grid.setGridColumnWidth(3, 400);
    EXPECT_EQ(grid.columnWidth(3), 400);  // a given width wider than the heading is kept

    cells().setCell(0, 3, QString(60, QChar('W')));  // a heading that grows widens its column
    EXPECT_GE(grid.columnWidth(3), QFontMetrics(large).horizontalAdvance(QString(60, QChar('W'))));
}

TEST_F(TextGridTest, EditableCellsStoreAnyTextUnchecked) {
    EXPECT_TRUE(cells().flags(cells().index(4, 3)) & Qt::ItemIsEditable);
    for (const QString& text : {QString("  -$zz "), QString(300, QChar('9')), QString()}) {
        EXPECT_TRUE(cells().setData(cells().index(4, 3), text));
        EXPECT_EQ(cell(4, 3), text);
    }
}

TEST_F(TextGridTest, TypingReplacesTheCellAndEnterConfirmsAndMovesDown) {
    put(1, 1, "old");
    activate();
    goTo(1, 1);
    QTest::keyClick(&grid, Qt::Key_4);
    QTest::keyClicks(QApplication::focusWidget(), "2x");
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
    EXPECT_EQ(cell(1, 1), "42x");
    EXPECT_EQ(current(), QPoint(2, 1));
    EXPECT_FALSE(grid.isEditing());
}

TEST_F(TextGridTest, EnterWithoutEditingMovesDownAndStopsAtTheLastRow) {
    activate();
    goTo(3, 2);
    QTest::keyClick(&grid, Qt::Key_Enter);
    EXPECT_EQ(current(), QPoint(4, 2));
    QTest::keyClick(&grid, Qt::Key_Return);
    EXPECT_EQ(current(), QPoint(4, 2));
}

TEST_F(TextGridTest, TabMovesRightAndWrapsPastTheHeadingColumn) {
    activate();
    goTo(1, 2);
    QTest::keyClick(&grid, Qt::Key_Tab);
    EXPECT_EQ(current(), QPoint(1, 3));
    QTest::keyClick(&grid, Qt::Key_Tab);
    EXPECT_EQ(current(), QPoint(2, 1));
}

TEST_F(TextGridTest, TabWhileEditingConfirmsTheCell) {
    activate();
    goTo(2, 1);
    QTest::keyClick(&grid, Qt::Key_7);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    EXPECT_EQ(cell(2, 1), "7");
    EXPECT_EQ(current(), QPoint(2, 2));
}

// Each key ends the edit once: the queued work of the closed editor (run by processEvents) finds
// nothing left to commit or close, so Qt has nothing to warn about.
TEST_F(TextGridTest, EnterTabAndEscapeEndAnEditOnceWithoutAWarning) {
    const struct {
        const char* name;
        Qt::Key key;
        QString stored;
        QPoint next;
        bool editingNext;
    } cases[] = {
        {"Return", Qt::Key_Return, "9", {3, 1}, false},
        {"Enter", Qt::Key_Enter, "9", {3, 1}, false},
        {"Tab", Qt::Key_Tab, "9", {2, 2}, true},  // the next cell opens for typing, as views do
        {"Escape", Qt::Key_Escape, "old", {2, 1}, false},
    };
    activate();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        put(2, 1, "old");
        goTo(2, 1);
        QTest::keyClick(&grid, Qt::Key_9);
        ASSERT_TRUE(grid.isEditing());
        QTest::keyClick(QApplication::focusWidget(), c.key);
        QCoreApplication::processEvents();
        EXPECT_EQ(cell(2, 1), c.stored);
        EXPECT_EQ(current(), c.next);
        EXPECT_EQ(grid.isEditing(), c.editingNext);
        grid.commitEditing();
    }
}

TEST_F(TextGridTest, CommitEditingStoresAnOpenEditor) {
    activate();
    goTo(1, 3);
    QTest::keyClick(&grid, Qt::Key_A);
    ASSERT_TRUE(grid.isEditing());
    grid.commitEditing();
    EXPECT_EQ(cell(1, 3), "a");
    EXPECT_FALSE(grid.isEditing());
}

TEST_F(TextGridTest, EditingALongCellKeepsItWhole) {
    const QString longText = QString(40000, QChar('m')) + "end";
    put(2, 2, longText);
    activate();
    goTo(2, 2);
    QTest::keyClick(&grid, Qt::Key_F2);
    ASSERT_TRUE(grid.isEditing());
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
    EXPECT_EQ(cell(2, 2).size(), longText.size());
    EXPECT_TRUE(cell(2, 2) == longText);
}

TEST_F(TextGridTest, DeleteClearsTheSelectedCellsOnly) {
    for (int row = 1; row < 5; ++row) {
        for (int column = 1; column < 4; ++column) put(row, column, "v");
    }
    activate();
    goTo(1, 1);
    select(1, 1, 2, 2);
    QTest::keyClick(&grid, Qt::Key_Delete);
    EXPECT_EQ(cell(1, 1), "");
    EXPECT_EQ(cell(2, 2), "");
    EXPECT_EQ(cell(1, 3), "v");
    EXPECT_EQ(cell(3, 1), "v");
}

TEST_F(TextGridTest, DeleteAfterSelectingAllKeepsTheHeadings) {
    put(4, 3, "v");
    activate();
    grid.selectAll();
    QTest::keyClick(&grid, Qt::Key_Delete);
    EXPECT_EQ(cell(4, 3), "");
    EXPECT_EQ(cell(0, 2), "H2");
    EXPECT_EQ(cell(3, 0), "3");
}

struct PasteCase {
    const char* name;
    QString text;
    QPoint start;
    std::vector<std::pair<QPoint, QString>> expected;
    QPoint selectionEnd;
};

void PrintTo(const PasteCase& paste, std::ostream* os) { *os << paste.name; }

class TextGridPaste : public TextGridTest, public ::testing::WithParamInterface<PasteCase> {};

TEST_P(TextGridPaste, FillsFromTheCurrentCell) {
    const PasteCase& c = GetParam();
    activate();
    goTo(c.start.x(), c.start.y());
    QApplication::clipboard()->setText(c.text);
    QTest::keyClick(&grid, Qt::Key_V, Qt::ControlModifier);
    for (const auto& [at, text] : c.expected)
        EXPECT_EQ(cell(at.x(), at.y()), text) << at.x() << "," << at.y();
    EXPECT_TRUE(
        grid.selectionModel()->isSelected(cells().index(c.selectionEnd.x(), c.selectionEnd.y())));
    EXPECT_EQ(cell(0, 1), "H1");
    EXPECT_EQ(cell(1, 0), "1");
}

INSTANTIATE_TEST_SUITE_P(
    Cases, TextGridPaste,
    ::testing::Values(
        PasteCase{"Block",
                  "a\tb\nc\td\n",
                  {1, 1},
                  {{{1, 1}, "a"}, {{1, 2}, "b"}, {{2, 1}, "c"}, {{2, 2}, "d"}, {{3, 1}, ""}},
                  {2, 2}},
        PasteCase{"WindowsLineEnds",
                  "1\r\n2\r\n",
                  {2, 3},
                  {{{2, 3}, "1"}, {{3, 3}, "2"}, {{4, 3}, ""}},
                  {3, 3}},
        PasteCase{"ClippedAtTheEdges",
                  "p\tq\tr\ns\tt\tu\nv\n",
                  {4, 2},
                  {{{4, 2}, "p"}, {{4, 3}, "q"}},
                  {4, 3}},
        PasteCase{"EmptyValuesEmptyCells", "\tz", {3, 1}, {{{3, 1}, ""}, {{3, 2}, "z"}}, {3, 2}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(TextGridTest, EmptyClipboardChangesNothing) {
    put(1, 1, "keep");
    activate();
    goTo(1, 1);
    QApplication::clipboard()->clear();
    QTest::keyClick(&grid, Qt::Key_V, Qt::ControlModifier);
    EXPECT_EQ(cell(1, 1), "keep");
}

TEST_F(TextGridTest, CopyAndCutGiveTheSelectionAsTabSeparatedLines) {
    put(1, 1, "a");
    put(1, 2, "b");
    put(2, 2, "d");
    activate();
    goTo(1, 1);
    select(1, 1, 2, 2);
    QTest::keyClick(&grid, Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(QApplication::clipboard()->text(), "a\tb\n\td");
    EXPECT_EQ(cell(1, 1), "a");

    QTest::keyClick(&grid, Qt::Key_X, Qt::ControlModifier);
    EXPECT_EQ(QApplication::clipboard()->text(), "a\tb\n\td");
    EXPECT_EQ(cell(1, 1), "");
    EXPECT_EQ(cell(2, 2), "");

    goTo(3, 2);
    grid.pasteText(QApplication::clipboard()->text());
    EXPECT_EQ(cell(3, 3), "b");
    EXPECT_EQ(cell(4, 3), "d");
}

}  // namespace
}  // namespace velmora::ui
