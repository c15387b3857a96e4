#include "app/about_dialog.h"

#include <gtest/gtest.h>

#include <QLabel>
#include <QPushButton>
#include <QUrl>

#include "ui/links.h"

namespace velmora::ui {
namespace {

class AboutDialogTest : public ::testing::Test {
protected:
    AboutDialogTest() {
        about.setUrlOpener([this](const QUrl& url) { opened.push_back(url); });
    }
    TFAbout about;
    std::vector<QUrl> opened;
};

TEST_F(AboutDialogTest, ShowsItsTextsExactly) {
    EXPECT_EQ(about.windowTitle(), "About...");
    EXPECT_EQ(about.size(), QSize(424, 152));
    EXPECT_TRUE(about.windowFlags() & Qt::WindowCloseButtonHint);
    const struct {
        QLabel* label;
        const char* text;
    } texts[] = {{about.ProductName, "Software Velmora "},
                 {about.Comments, "DeviceNet Master / Modbus Slave - Converter"},
                 {about.SoftwareCodeCaption, "Software Code : "},
                 {about.SoftwareCode, "QS48203"},
                 {about.VersionCaption, "Version :"},
                 {about.Version, "1.101"},
                 {about.DocumentCodeCaption, "Document Code :"},
                 {about.DocumentCode, "QM48203"},
                 {about.Label5, kMakerMailAddress}};
    for (const auto& t : texts) EXPECT_EQ(t.label->text(), t.text);
    EXPECT_EQ(about.Label4->text(), QUrl(QString::fromLatin1(kMakerWebSite)).host());
    EXPECT_TRUE(about.ProductName->font().bold());
    EXPECT_EQ(about.ProductName->font().pointSize(), 10);
    EXPECT_EQ(about.OKBtn->text(), "OK");
    EXPECT_EQ(about.Image1->size(), QSize(81, 81));
    EXPECT_FALSE(about.Image1->pixmap().isNull());
}

TEST_F(AboutDialogTest, TheMailLinkIsHidden) {
    about.show();
    EXPECT_TRUE(about.Label4->isVisible());
    EXPECT_FALSE(about.Label5->isVisible());
}

TEST_F(AboutDialogTest, TheLinkAndTheLogoOpenTheMakersPageAndTheMailLinkAMail) {
    about.Label4->click();
    about.Image1->click();
    about.Label5Click();
    const QUrl page(QString::fromLatin1(kMakerWebSite) + "/HOME/default.asp?frompg=QS48203");
    EXPECT_EQ(opened,
              (std::vector{page, page, QUrl(QStringLiteral("mailto:") + kMakerMailAddress)}));
}

TEST_F(AboutDialogTest, OkAndTheCloseBoxBothCloseIt) {
    about.show();
    about.OKBtn->click();
    EXPECT_FALSE(about.isVisible());
    about.show();
    about.close();
    EXPECT_FALSE(about.isVisible());
}

}  // namespace
}  // namespace velmora::ui
