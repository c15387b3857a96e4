#include "ui/link_label.h"

#include <QMouseEvent>

namespace velmora::ui {

LinkLabel::LinkLabel(QWidget* parent) : QLabel(parent) { setCursor(Qt::PointingHandCursor); }

void LinkLabel::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint())) click();
    QLabel::mouseReleaseEvent(event);
}

}  // namespace velmora::ui
