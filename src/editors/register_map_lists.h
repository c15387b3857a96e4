#pragma once

#include <QRect>
#include <QString>
#include <functional>

class QListWidget;
class QWidget;

namespace velmora::ui {

// A list of the register map dialog named `name`, placed at `geometry`, single selection, its
// "ID<TAB>count" items drawn with tab stops every 42 dialog units. With `columns` above 1 the
// items flow down and on into the next column, that many in view. A list that `keepsSelection`
// (a node list) keeps its chosen item when the empty part or the chosen item is Ctrl+clicked.
QListWidget* registerMapList(const char* name, QWidget* parent, QRect geometry, int columns,
                             bool keepsSelection = false);

// Whether `text` drawn in the font of `list`, made by registerMapList, stays inside one item.
bool listItemFits(const QListWidget* list, const QString& text);

// Runs `handler` when an item of `list` is selected by click or keyboard, and when the selected
// item is clicked again (which changes no selection but still counts as selecting it).
void onItemSelected(QListWidget* list, std::function<void()> handler);

}  // namespace velmora::ui
