#include "editors/text_grid_model.h"

#include <QFont>

namespace velmora::ui {

namespace {

QFont boldFont() {
    QFont font;
    font.setBold(true);
    return font;
}

}  // namespace

TextGridModel::TextGridModel(int rows, int columns, QObject* parent)
    : QAbstractTableModel(parent), rows_(rows), columns_(columns), cells_(rows * columns) {}

int TextGridModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : rows_;
}

int TextGridModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : columns_;
}

QVariant TextGridModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid()) return {};
    switch (role) {
        case Qt::DisplayRole:
        case Qt::EditRole:
            return cell(index.row(), index.column());
        case Qt::FontRole:
            if (isFixed(index.row(), index.column())) return boldFont();
            return {};
        default:
            return {};
    }
}

QVariant TextGridModel::headerData(int section, Qt::Orientation orientation, int role) const {
    switch (role) {
        case Qt::DisplayRole:
            return orientation == Qt::Horizontal ? cell(0, section) : cell(section, 0);
        case Qt::FontRole:
            return boldFont();
        default:
            return {};
    }
}

Qt::ItemFlags TextGridModel::flags(const QModelIndex& index) const {
    if (!index.isValid()) return Qt::NoItemFlags;
    if (isFixed(index.row(), index.column())) return Qt::ItemIsEnabled;
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsEditable;
}

bool TextGridModel::setData(const QModelIndex& index, const QVariant& value, int role) {
    if (role != Qt::EditRole || !isEditable(index)) return false;
    setCell(index.row(), index.column(), value.toString());
    return true;
}

bool TextGridModel::isEditable(const QModelIndex& index) const {
    return index.isValid() && index.model() == this && !isFixed(index.row(), index.column());
}

QString TextGridModel::cell(int row, int column) const {
    if (row < 0 || row >= rows_ || column < 0 || column >= columns_) return {};
    return cells_[row * columns_ + column];
}

void TextGridModel::setCell(int row, int column, const QString& text) {
    if (row < 0 || row >= rows_ || column < 0 || column >= columns_) return;
    cells_[row * columns_ + column] = text;
    const QModelIndex changed = index(row, column);
    emit dataChanged(changed, changed, {Qt::DisplayRole, Qt::EditRole});
    if (row == 0) emit headerDataChanged(Qt::Horizontal, column, column);
    if (column == 0) emit headerDataChanged(Qt::Vertical, row, row);
}

void TextGridModel::clearBelowHeadings() {
    if (rows_ < 2) return;
    for (int i = columns_; i < cells_.size(); ++i) cells_[i].clear();
    emit dataChanged(index(1, 0), index(rows_ - 1, columns_ - 1), {Qt::DisplayRole, Qt::EditRole});
    emit headerDataChanged(Qt::Vertical, 1, rows_ - 1);
}

}  // namespace velmora::ui
