#include "app/about_dialog.h"

#include <QFont>
#include <QLabel>
#include <QPalette>
#include <QPushButton>

#include "ui/look.h"

namespace velmora::ui {

namespace {

QLabel* makeLabel(QWidget* parent, const char* name, const QString& text, QRect geometry) {
    auto* label = new QLabel(text, parent);
    label->setObjectName(QLatin1String(name));
    label->setGeometry(geometry);
    return label;
}

LinkLabel* makeLink(QWidget* parent, const char* name, const QString& text, QRect geometry) {
    auto* label = new LinkLabel(parent);
    label->setObjectName(QLatin1String(name));
    label->setText(text);
    label->setGeometry(geometry);
    // Blue and underlined as a link; the rest of the font and palette comes from the dialog.
    QPalette palette;
    palette.setColor(QPalette::WindowText, Qt::blue);
    label->setPalette(palette);
    QFont font;
    font.setUnderline(true);
    label->setFont(font);
    return label;
}

}  // namespace

TFAbout::TFAbout(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowCloseButtonHint),
      Image1(new LinkLabel(this)),
      OKBtn(new QPushButton(lookIcon(QStringLiteral("ok")), QStringLiteral("OK"), this)),
      ProductName(makeLabel(this, "ProductName", QStringLiteral("Software Velmora "),
                            QRect(112, 10, 300, 18))),
      Comments(makeLabel(this, "Comments",
                         QStringLiteral("DeviceNet Master / Modbus Slave - Converter"),
                         QRect(112, 32, 300, 16))),
      SoftwareCodeCaption(makeLabel(this, "SoftwareCodeCaption", QStringLiteral("Software Code : "),
                                    QRect(112, 58, 110, 16))),
      SoftwareCode(
          makeLabel(this, "SoftwareCode", QStringLiteral("QS48203"), QRect(226, 58, 100, 16))),
      VersionCaption(
          makeLabel(this, "VersionCaption", QStringLiteral("Version :"), QRect(112, 76, 110, 16))),
      Version(makeLabel(this, "Version", QStringLiteral("1.101"), QRect(226, 76, 100, 16))),
      DocumentCodeCaption(makeLabel(this, "DocumentCodeCaption", QStringLiteral("Document Code :"),
                                    QRect(112, 94, 110, 16))),
      DocumentCode(
          makeLabel(this, "DocumentCode", QStringLiteral("QM48203"), QRect(226, 94, 100, 16))),
      Label4(makeLink(this, "Label4", makerWebAddress(), QRect(212, 126, 200, 16))),
      Label5(makeLink(this, "Label5", QLatin1String(kMakerMailAddress), QRect(112, 126, 96, 16))),
      openUrl_(desktopUrlOpener()) {
    setObjectName(QStringLiteral("FAbout"));
    applyLook(*this);
    setWindowTitle(QStringLiteral("About..."));
    setFixedSize(424, 152);

    Image1->setObjectName(QStringLiteral("Image1"));
    Image1->setGeometry(12, 12, 81, 81);
    Image1->setScaledContents(true);
    Image1->setPixmap(logoPixmap(81));
    OKBtn->setObjectName(QStringLiteral("OKBtn"));
    OKBtn->setGeometry(18, 112, 69, 23);
    ProductName->setFont(lookFont(10, true));
    Label4->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    Label5->hide();

    connect(OKBtn, &QPushButton::clicked, this, &QDialog::accept);
    connect(Label4, &LinkLabel::clicked, this, &TFAbout::Label4Click);
    connect(Image1, &LinkLabel::clicked, this, &TFAbout::Label4Click);
    connect(Label5, &LinkLabel::clicked, this, &TFAbout::Label5Click);
}

void TFAbout::Label4Click() { openUrl_(makerPageUrl()); }

void TFAbout::Label5Click() { openUrl_(makerMailUrl()); }

}  // namespace velmora::ui
