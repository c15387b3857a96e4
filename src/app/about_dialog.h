#pragma once

#include <QDialog>

#include "ui/link_label.h"
#include "ui/links.h"

class QLabel;
class QPushButton;

namespace velmora::ui {

// The About window: the software's name, codes and version, the logo and the maker's links.
class TFAbout : public QDialog {
    Q_OBJECT
public:
    explicit TFAbout(QWidget* parent = nullptr);

    void setUrlOpener(UrlOpener opener) { openUrl_ = std::move(opener); }

    // The web link and the logo: the maker's web page with the desktop's handler.
    void Label4Click();
    // The hidden mail link: a new mail to the maker with the desktop's mail handler.
    void Label5Click();

    LinkLabel* Image1;
    QPushButton* OKBtn;
    QLabel* ProductName;
    QLabel* Comments;
    QLabel* SoftwareCodeCaption;
    QLabel* SoftwareCode;
    QLabel* VersionCaption;
    QLabel* Version;
    QLabel* DocumentCodeCaption;
    QLabel* DocumentCode;
    LinkLabel* Label4;
    LinkLabel* Label5;

private:
    UrlOpener openUrl_;
};

}  // namespace velmora::ui
