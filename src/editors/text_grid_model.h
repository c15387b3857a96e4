#pragma once

#include <QAbstractTableModel>
#include <QString>
#include <QVector>

namespace velmora::ui {

// A fixed-size grid of texts whose row 0 and column 0 are fixed headings; every other cell is
// edited freely: setData stores the raw text, nothing is checked while typing.
class TextGridModel : public QAbstractTableModel {
    Q_OBJECT

public:
    TextGridModel(int rows, int columns, QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    // Horizontal section c shows cell (0, c), vertical section r shows cell (r, 0), in bold.
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    // Stores the text of an editable cell as given; refuses the fixed cells.
    bool setData(const QModelIndex& index, const QVariant& value, int role = Qt::EditRole) override;

    // True for the cells of the heading row and column.
    static bool isFixed(int row, int column) { return row == 0 || column == 0; }
    bool isEditable(const QModelIndex& index) const;

    // The text of any cell, fixed ones included; empty outside the grid.
    QString cell(int row, int column) const;
    // Sets the text of any cell, fixed ones included.
    void setCell(int row, int column, const QString& text);
    // Empties every cell below the heading row, the heading column included.
    void clearBelowHeadings();

private:
    int rows_;
    int columns_;
    QVector<QString> cells_;
};

}  // namespace velmora::ui
