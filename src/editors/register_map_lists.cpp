#include "editors/register_map_lists.h"

#include <QApplication>
#include <QEvent>
#include <QListWidget>
#include <QPainter>
#include <QStyledItemDelegate>
#include <QTextOption>
#include <algorithm>
#include <utility>

#include "ui/naming.h"

namespace velmora::ui {

namespace {

// The node list's tab stops, in dialog units of its font (a quarter of the average width).
constexpr int kTabStopDialogUnits = 42;

// Paints "ID<TAB>count" items with tab stops every 42 dialog units, so that the two texts line
// up in columns; `itemWidth`, when positive, is the width of every item of a wrapping list, whose
// tab stop is drawn in closer where a three-digit count would not fit behind it.
class TabStopDelegate : public QStyledItemDelegate {
public:
    TabStopDelegate(QObject* parent, int itemWidth)
        : QStyledItemDelegate(parent), itemWidth_(itemWidth) {}

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override {
        QStyleOptionViewItem item = option;
        initStyleOption(&item, index);
        const QString text = item.text;
        item.text.clear();
        const QWidget* widget = item.widget;
        QStyle* style = widget ? widget->style() : QApplication::style();
        style->drawControl(QStyle::CE_ItemViewItem, &item, painter, widget);

        QTextOption layout(Qt::AlignLeft | Qt::AlignVCenter);
        layout.setWrapMode(QTextOption::NoWrap);
        const QRect area = textArea(item.rect, widget);
        layout.setTabStopDistance(tabStop(item.fontMetrics, area.width()));
        painter->save();
        painter->setFont(item.font);
        painter->setPen(item.palette.color(
            item.state & QStyle::State_Selected ? QPalette::HighlightedText : QPalette::Text));
        painter->drawText(QRectF(area), text, layout);
        painter->restore();
    }

    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override {
        QSize size = QStyledItemDelegate::sizeHint(option, index);
        if (itemWidth_ > 0) size.setWidth(itemWidth_);
        return size;
    }

    // Whether `text` drawn in `list`'s font stays inside an item of the list.
    bool fits(const QListWidget* list, const QString& text) const {
        const QFontMetrics metrics(list->font());
        const int width = itemWidth_ > 0 ? itemWidth_ : list->viewport()->width();
        const QRect area = textArea(QRect(0, 0, width, metrics.height()), list);
        const int tab = static_cast<int>(tabStop(metrics, area.width()));
        const QRect drawn = metrics.boundingRect(QRect(0, 0, 10 * width, metrics.height()),
                                                 Qt::AlignLeft | Qt::TextExpandTabs, text, tab);
        return drawn.width() <= area.width();
    }

private:
    static QRect textArea(QRect itemRect, const QWidget* widget) {
        QStyle* style = widget ? widget->style() : QApplication::style();
        const int margin = style->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, widget) + 1;
        return itemRect.adjusted(margin, 0, -margin, 0);
    }

    qreal tabStop(const QFontMetrics& metrics, int textWidth) const {
        const qreal usual = kTabStopDialogUnits * metrics.averageCharWidth() / 4.0;
        if (itemWidth_ <= 0) return usual;
        // A narrow column keeps room for the widest count, 455, behind the tab.
        const qreal room = textWidth - metrics.horizontalAdvance(QStringLiteral("000"));
        return std::min(usual, std::max(room, 1.0));
    }

    int itemWidth_;
};

// Runs a handler when an item of a list is selected by click or keyboard, and when the selected
// item is clicked again (which changes no selection but still counts as selecting it).
class SelectionWatcher : public QObject {
public:
    SelectionWatcher(QListWidget* list, std::function<void()> handler)
        : QObject(list), handler_(std::move(handler)) {
        list->viewport()->installEventFilter(this);
        connect(list, &QListWidget::itemSelectionChanged, this, [this] {
            changedByPress_ = true;
            handler_();
        });
        connect(list, &QListWidget::itemPressed, this, [this] {
            if (!changedByPress_) handler_();
        });
    }

    bool eventFilter(QObject*, QEvent* event) override {
        // Seen before the list handles the press, which may then change the selection.
        if (event->type() == QEvent::MouseButtonPress) changedByPress_ = false;
        return false;
    }

private:
    std::function<void()> handler_;
    bool changedByPress_ = false;
};

// A node list: a node is chosen by a click on its item or by the keyboard, and a click on the
// empty part of the list or a Ctrl+click on the chosen node leaves it chosen, since the register
// list and the index field go on showing that node's registers.
class NodeList : public QListWidget {
public:
    using QListWidget::QListWidget;

protected:
    QItemSelectionModel::SelectionFlags selectionCommand(const QModelIndex& index,
                                                         const QEvent* event) const override {
        if (!index.isValid()) return QItemSelectionModel::NoUpdate;
        const QItemSelectionModel::SelectionFlags flags =
            QListWidget::selectionCommand(index, event);
        // Ctrl+click toggles; the chosen node is only ever replaced, never dropped.
        if (flags & QItemSelectionModel::Deselect) return QItemSelectionModel::NoUpdate;
        return flags;
    }
};

}  // namespace

QListWidget* registerMapList(const char* name, QWidget* parent, QRect geometry, int columns,
                             bool keepsSelection) {
    auto* l = named(keepsSelection ? new NodeList(parent) : new QListWidget(parent), name);
    l->setGeometry(geometry);
    l->setSelectionMode(QAbstractItemView::SingleSelection);
    l->setUniformItemSizes(true);
    if (columns > 1) {
        // Items flow down and on into the next column, `columns` of them in view.
        l->setFlow(QListView::TopToBottom);
        l->setWrapping(true);
        l->setResizeMode(QListView::Adjust);
        const int width = (geometry.width() - 2 * l->frameWidth()) / columns;
        l->setItemDelegate(new TabStopDelegate(l, width));
    } else {
        l->setItemDelegate(new TabStopDelegate(l, 0));
    }
    return l;
}

bool listItemFits(const QListWidget* list, const QString& text) {
    return static_cast<const TabStopDelegate*>(list->itemDelegate())->fits(list, text);
}

void onItemSelected(QListWidget* list, std::function<void()> handler) {
    new SelectionWatcher(list, std::move(handler));
}

}  // namespace velmora::ui
