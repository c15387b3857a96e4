#pragma once

#include <QLabel>
#include <QString>
#include <QWidget>

namespace velmora::ui {

// Gives `widget` its control name (E_DNET_ID, CB_HB...) and returns it.
template <class Widget>
Widget* named(Widget* widget, const char* name) {
    widget->setObjectName(QString::fromLatin1(name));
    return widget;
}

// Makes `label` the buddy of `field`, so that a screen reader names the field by the label's text.
inline void labelFor(QLabel* label, QWidget* field) {
    label->setBuddy(field);
    field->setAccessibleName(label->text().trimmed());
}

}  // namespace velmora::ui
