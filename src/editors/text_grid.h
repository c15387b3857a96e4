#pragma once

#include <QString>
#include <QTableView>
#include <QVector>

#include "editors/text_grid_model.h"

namespace velmora::ui {

// An editable grid over its own TextGridModel. The model's row 0 and column 0 are the fixed
// headings: they are shown by the header views (column 0's heading by the corner), so they
// stay in place while the grid scrolls. Typing replaces a cell, Tab and Enter move between
// cells, Delete empties the selected cells, and a block of tab-separated text is copied or cut
// from the selection and pasted from the current cell. Nothing is checked while editing.
class TextGrid : public QTableView {
    Q_OBJECT

public:
    TextGrid(int rows, int columns, QWidget* parent = nullptr);

    TextGridModel& cells() { return *model_; }
    const TextGridModel& cells() const { return *model_; }

    // Width of a grid column, at least `width` and wide enough for its heading in the font the
    // heading is drawn with, whatever fonts the system has; column 0 is the row headings'.
    void setGridColumnWidth(int column, int width);
    // The width the heading of `column` needs in the font it is drawn with, margins included.
    int headingWidth(int column) const;
    // Height of every row, the heading row included.
    void setGridRowHeight(int height);

    // True while a cell's editor is open.
    bool isEditing() const { return state() == QAbstractItemView::EditingState; }
    // Stores the text of an open editor in its cell and closes the editor.
    void commitEditing();
    // Empties the editable cells of the selection, or the current cell when none is selected.
    void clearSelectedCells();
    // Fills the cells from the current one with lines of tab-separated values; what falls
    // outside the editable cells is dropped. The filled range becomes the selection.
    void pasteText(const QString& text);
    // The selected editable cells as lines of tab-separated values over their bounding range.
    QString selectedText() const;

protected:
    void keyPressEvent(QKeyEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void moveDown();
    void fitColumn(int column);

    TextGridModel* model_;
    // The widths given by setGridColumnWidth, 0 where none was given.
    QVector<int> givenWidths_;
};

}  // namespace velmora::ui
