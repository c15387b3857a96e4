#pragma once

#include <QLabel>

namespace velmora::ui {

// A label that acts on a click of the left mouse button, with a hand cursor.
class LinkLabel : public QLabel {
    Q_OBJECT
public:
    explicit LinkLabel(QWidget* parent = nullptr);
    // Acts as a click of the user.
    void click() { emit clicked(); }

signals:
    void clicked();

protected:
    void mouseReleaseEvent(QMouseEvent* event) override;
};

}  // namespace velmora::ui
