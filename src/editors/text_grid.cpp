#include "editors/text_grid.h"

#include <QAbstractButton>
#include <QApplication>
#include <QClipboard>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLineEdit>
#include <QStyleOptionHeader>
#include <QStylePainter>
#include <QStyledItemDelegate>

#include <algorithm>
#include <limits>

namespace velmora::ui {

namespace {

QFont boldVersion(QFont font) {
    font.setBold(true);
    return font;
}

// The view's corner button, which takes the place of cell (0, 0).
QAbstractButton* cornerButton(const QTableView& view) {
    return view.findChild<QAbstractButton*>(QString(), Qt::FindDirectChildrenOnly);
}

// Opens cell editors without a length limit: a line edit's own limit would cut a long cell
// as soon as it is edited.
class UnlimitedTextDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem& option,
                          const QModelIndex& index) const override {
        QWidget* editor = QStyledItemDelegate::createEditor(parent, option, index);
        if (auto* line = qobject_cast<QLineEdit*>(editor)) {
            line->setMaxLength(std::numeric_limits<int>::max());
        }
        return editor;
    }

    // Enter is left to the grid, which stores the cell and closes the editor at once; the base
    // delegate would also queue a store and close of the same editor, which then reach the
    // grid once the editor is already gone.
    bool eventFilter(QObject* editor, QEvent* event) override {
        if (event->type() == QEvent::KeyPress) {
            const int key = static_cast<QKeyEvent*>(event)->key();
            if (key == Qt::Key_Return || key == Qt::Key_Enter) return false;
        }
        return QStyledItemDelegate::eventFilter(editor, event);
    }
};

}  // namespace

TextGrid::TextGrid(int rows, int columns, QWidget* parent)
    : QTableView(parent),
      model_(new TextGridModel(rows, columns, this)),
      givenWidths_(std::max(columns, 0), 0) {
    setModel(model_);
    setItemDelegate(new UnlimitedTextDelegate(this));
    // The heading row and column are drawn by the header views and the corner.
    setRowHidden(0, true);
    setColumnHidden(0, true);
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setSelectionBehavior(QAbstractItemView::SelectItems);
    setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed |
                    QAbstractItemView::AnyKeyPressed);
    setSortingEnabled(false);
    setTabKeyNavigation(true);
    setWordWrap(false);
    for (QHeaderView* header : {horizontalHeader(), verticalHeader()}) {
        header->setSectionsMovable(false);
        header->setFont(boldVersion(header->font()));
        header->setDefaultAlignment(Qt::AlignCenter);
    }
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    if (QAbstractButton* corner = cornerButton(*this)) {
        corner->setFont(boldVersion(corner->font()));
        corner->installEventFilter(this);
        connect(model_, &QAbstractItemModel::headerDataChanged, corner,
                qOverload<>(&QWidget::update));
    }
    // A heading that changes may need a wider column. Every heading, the corner's included, is a
    // cell of row 0 and so announced as a horizontal one.
    connect(model_, &QAbstractItemModel::headerDataChanged, this,
            [this](Qt::Orientation orientation, int first, int last) {
                if (orientation != Qt::Horizontal) return;
                for (int column = first; column <= last; ++column) fitColumn(column);
            });
    if (rows > 1 && columns > 1) setCurrentIndex(model_->index(1, 1));
}

void TextGrid::setGridColumnWidth(int column, int width) {
    if (column < 0 || column >= givenWidths_.size()) return;
    givenWidths_[column] = width;
    fitColumn(column);
}

int TextGrid::headingWidth(int column) const {
    const QHeaderView* header = column == 0 ? verticalHeader() : horizontalHeader();
    const Qt::Orientation orientation = column == 0 ? Qt::Vertical : Qt::Horizontal;
    // The model's heading font leaves family and size to the header's own font, as painting does.
    const QFont font = model_->headerData(column, orientation, Qt::FontRole)
                           .value<QFont>()
                           .resolve(header->font());
    QStyleOptionHeader option;
    option.initFrom(header);
    option.fontMetrics = QFontMetrics(font);
    option.text = model_->cell(0, column);
    option.section = column;
    option.orientation = Qt::Horizontal;
    option.textAlignment = Qt::AlignCenter;
    return header->style()
        ->sizeFromContents(QStyle::CT_HeaderSection, &option, QSize(), header)
        .width();
}

void TextGrid::fitColumn(int column) {
    if (column < 0 || column >= givenWidths_.size() || givenWidths_[column] == 0) return;
    const int width = std::max(givenWidths_[column], headingWidth(column));
    if (column == 0) {
        verticalHeader()->setFixedWidth(width);
    } else {
        setColumnWidth(column, width);
    }
}

void TextGrid::setGridRowHeight(int height) {
    verticalHeader()->setMinimumSectionSize(
        std::min(height, verticalHeader()->minimumSectionSize()));
    verticalHeader()->setDefaultSectionSize(height);
    horizontalHeader()->setFixedHeight(height);
}

void TextGrid::commitEditing() {
    if (!isEditing()) return;
    if (QWidget* editor = indexWidget(currentIndex())) {
        commitData(editor);
        closeEditor(editor, QAbstractItemDelegate::NoHint);
    }
}

void TextGrid::clearSelectedCells() {
    QModelIndexList indexes = selectedIndexes();
    if (indexes.isEmpty()) indexes.append(currentIndex());
    for (const QModelIndex& index : indexes) {
        if (model_->isEditable(index)) model_->setData(index, QString());
    }
}

void TextGrid::pasteText(const QString& text) {
    const QModelIndex start = currentIndex();
    if (text.isEmpty() || !model_->isEditable(start)) return;
    QString block = text;
    block.replace(QStringLiteral("\r\n"), QStringLiteral("\n")).replace(QChar('\r'), QChar('\n'));
    // Spreadsheets end the copied block with a line break.
    if (block.endsWith(QChar('\n'))) block.chop(1);
    const QStringList lines = block.split(QChar('\n'));
    const int lastRow =
        std::min(start.row() + static_cast<int>(lines.size()), model_->rowCount()) - 1;
    int lastColumn = start.column();
    for (int row = start.row(); row <= lastRow; ++row) {
        const QStringList values = lines[row - start.row()].split(QChar('\t'));
        const int end =
            std::min(start.column() + static_cast<int>(values.size()), model_->columnCount());
        for (int column = start.column(); column < end; ++column) {
            model_->setData(model_->index(row, column), values[column - start.column()]);
        }
        lastColumn = std::max(lastColumn, end - 1);
    }
    selectionModel()->select(QItemSelection(start, model_->index(lastRow, lastColumn)),
                             QItemSelectionModel::ClearAndSelect);
}

QString TextGrid::selectedText() const {
    QModelIndexList indexes = selectedIndexes();
    if (indexes.isEmpty()) indexes.append(currentIndex());
    indexes.removeIf([this](const QModelIndex& index) { return !model_->isEditable(index); });
    if (indexes.isEmpty()) return {};
    int top = indexes.front().row(), bottom = top;
    int left = indexes.front().column(), right = left;
    for (const QModelIndex& index : indexes) {
        top = std::min(top, index.row());
        bottom = std::max(bottom, index.row());
        left = std::min(left, index.column());
        right = std::max(right, index.column());
    }
    QVector<QStringList> lines(bottom - top + 1, QStringList(right - left + 1, QString()));
    for (const QModelIndex& index : indexes) {
        lines[index.row() - top][index.column() - left] = model_->cell(index.row(), index.column());
    }
    QStringList joined;
    for (const QStringList& line : lines) joined.append(line.join(QChar('\t')));
    return joined.join(QChar('\n'));
}

void TextGrid::moveDown() {
    const QModelIndex current = currentIndex();
    commitEditing();
    const QModelIndex below = model_->index(current.row() + 1, current.column());
    if (model_->isEditable(below)) setCurrentIndex(below);
}

void TextGrid::keyPressEvent(QKeyEvent* event) {
    const bool editing = isEditing();
    // Enter also reaches here from an open editor: it confirms the cell, never the dialog.
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        moveDown();
    } else if (!editing && event->key() == Qt::Key_Delete && event->modifiers() == Qt::NoModifier) {
        clearSelectedCells();
    } else if (!editing && event->matches(QKeySequence::Paste)) {
        pasteText(QApplication::clipboard()->text());
    } else if (!editing && event->matches(QKeySequence::Copy)) {
        QApplication::clipboard()->setText(selectedText());
    } else if (!editing && event->matches(QKeySequence::Cut)) {
        QApplication::clipboard()->setText(selectedText());
        clearSelectedCells();
    } else {
        QTableView::keyPressEvent(event);
        return;
    }
    event->accept();
}

bool TextGrid::eventFilter(QObject* watched, QEvent* event) {
    QAbstractButton* corner = cornerButton(*this);
    if (watched == corner && event->type() == QEvent::Paint) {
        QStyleOptionHeader option;
        option.initFrom(corner);
        option.rect = corner->rect();
        option.position = QStyleOptionHeader::OnlyOneSection;
        option.text = model_->cell(0, 0);
        option.textAlignment = Qt::AlignCenter;
        QStylePainter painter(corner);
        painter.drawControl(QStyle::CE_Header, option);
        return true;
    }
    return QTableView::eventFilter(watched, event);
}

}  // namespace velmora::ui
