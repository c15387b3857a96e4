#include "ui/look.h"

#include <gtest/gtest.h>

#include <cmath>
#include <utility>

#include <QApplication>
#include <QCoreApplication>
#include <QImage>
#include <QListWidget>
#include <QPainter>
#include <QPalette>
#include <QPushButton>
#include <QScreen>
#include <QStyle>
#include <QStyleOptionButton>
#ifndef _WIN32
#include <QSvgRenderer>
#endif
#include <QWidget>

#include "support/picture_side.h"

namespace velmora::ui {
namespace {

// The pictures parsed from SVG so far. The Windows build carries PNG images the build rendered
// from the same SVG files, and parses none.
#ifdef _WIN32
constexpr qsizetype kParsesPerPicture = 0;
qsizetype parsedPictures() { return 0; }
#else
constexpr qsizetype kParsesPerPicture = 1;
qsizetype parsedPictures() {
    return QCoreApplication::instance()->findChildren<QSvgRenderer*>().size();
}
#endif

// An icon costs nothing until a window draws it; then its SVG is parsed once and drawn at each
// size asked for, and later uses draw nothing again. (No other test of this program uses
// "refresh" or "next".)
TEST(LookIcon, ParsesEachSvgOnceOnFirstDrawingAndDrawsTheSizesAskedFor) {
    const qsizetype before = parsedPictures();
    const QIcon refresh = lookIcon("refresh");
    ASSERT_FALSE(refresh.isNull());
    EXPECT_EQ(parsedPictures(), before);

    const QPixmap small = refresh.pixmap(16);
    EXPECT_EQ(small.size(), QSize(16, 16));
    EXPECT_EQ(parsedPictures(), before + kParsesPerPicture);
    EXPECT_EQ(refresh.pixmap(24).size(), QSize(24, 24));
    EXPECT_EQ(refresh.pixmap(QSize(32, 20)).size(), QSize(20, 20));
    EXPECT_EQ(lookIcon("refresh").pixmap(16).cacheKey(), small.cacheKey());
    EXPECT_EQ(parsedPictures(), before + kParsesPerPicture);

    // A disabled button's icon is the style's greyed picture, not the coloured one.
    const QImage disabled = refresh.pixmap(QSize(16, 16), QIcon::Disabled).toImage();
    EXPECT_EQ(disabled.size(), QSize(16, 16));
    EXPECT_NE(disabled, small.toImage());

    EXPECT_FALSE(lookIcon("next").pixmap(16).isNull());
    EXPECT_EQ(parsedPictures(), before + 2 * kParsesPerPicture);
    EXPECT_TRUE(lookIcon("no-such-icon").isNull());
}

TEST(LogoPixmap, DrawsTheLogoAtEachSizeFromOneParse) {
    const qsizetype before = parsedPictures();
    EXPECT_EQ(logoPixmap(64).size(), QSize(64, 64));
    EXPECT_EQ(logoPixmap(81).size(), QSize(81, 81));
    EXPECT_LE(parsedPictures(), before + kParsesPerPicture);
}

// A look window's button drawn by the application's style in the given state, 145 x 26.
QImage drawnButton(QWidget& window, bool step, QStyle::State state, const QString& text = {}) {
    QPushButton button(text, &window);
    button.setProperty("step", step);
    button.resize(145, 26);
    QStyleOptionButton option;
    option.initFrom(&button);
    option.rect = QRect(0, 0, 145, 26);
    option.state = state;
    option.text = text;
    QImage image(option.rect.size(), QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    QApplication::style()->drawControl(QStyle::CE_PushButton, &option, &painter, &button);
    return image;
}

TEST(LookStyle, DrawsButtonsInEachStateWithTheLooksColours) {
    QWidget window;
    applyLook(window);
    const QColor background(kBackgroundColour);
    const QColor hover(kHoverColour);
    const QColor border(kHoverBorderColour);
    const QColor pressed(kPressedColour);
    const struct {
        const char* name;
        bool step;
        QStyle::State state;
        QColor fill;
        QColor edge;
    } cases[] = {
        {"resting", false, QStyle::State_Enabled, background, background},
        {"under the pointer", false, QStyle::State_Enabled | QStyle::State_MouseOver, hover,
         border},
        {"focused", false, QStyle::State_Enabled | QStyle::State_HasFocus, background, border},
        {"pressed", false, QStyle::State_Enabled | QStyle::State_Sunken | QStyle::State_MouseOver,
         hover, border},
        {"step pressed", true,
         QStyle::State_Enabled | QStyle::State_Sunken | QStyle::State_MouseOver, pressed, border},
        {"disabled under the pointer", false, QStyle::State_MouseOver, background, background},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const QImage image = drawnButton(window, c.step, c.state);
        EXPECT_EQ(image.pixelColor(72, 13), c.fill);
        EXPECT_EQ(image.pixelColor(72, 0), c.edge);
        EXPECT_EQ(image.pixelColor(0, 13), c.edge);
    }
}

// The first column holding text, or -1.
int firstInkColumn(const QImage& image) {
    const QColor fill = image.pixelColor(image.width() - 3, image.height() / 2);
    for (int x = 2; x < image.width() - 2; ++x) {
        for (int y = 2; y < image.height() - 2; ++y) {
            if (image.pixelColor(x, y) != fill) return x;
        }
    }
    return -1;
}

TEST(LookStyle, PutsAStepButtonsTextToTheLeftAndOthersInTheMiddle) {
    QWidget window;
    applyLook(window);
    const int step = firstInkColumn(drawnButton(window, true, QStyle::State_Enabled, "Step"));
    const int plain = firstInkColumn(drawnButton(window, false, QStyle::State_Enabled, "Step"));
    EXPECT_GE(step, 8);
    EXPECT_LE(step, 12);
    EXPECT_GT(plain, 50);
}

// The picture sits on the side the button's layout direction puts it: a right-to-left button
// ("Next") draws its text first and its picture after it.
TEST(LookStyle, PutsTheButtonsPictureOnTheSideOfItsLayoutDirection) {
    QWidget window;
    applyLook(window);
    for (const auto& [direction, side] : {std::pair{Qt::LeftToRight, test::PictureSide::Left},
                                          std::pair{Qt::RightToLeft, test::PictureSide::Right}}) {
        SCOPED_TRACE(direction == Qt::LeftToRight ? "left to right" : "right to left");
        QPushButton button(QStringLiteral("Next"), &window);
        button.setFlat(true);
        button.setLayoutDirection(direction);
        button.resize(80, 25);
        EXPECT_EQ(test::pictureSide(button), side);
    }
}

// The contrast ratio of two colours as screen-reading guidelines measure it, 1 to 21.
double contrast(const QColor& a, const QColor& b) {
    const auto luminance = [](const QColor& c) {
        const auto channel = [](double v) {
            return v <= 0.03928 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4);
        };
        return 0.2126 * channel(c.redF()) + 0.7152 * channel(c.greenF()) +
               0.0722 * channel(c.blueF());
    };
    const double la = luminance(a) + 0.05;
    const double lb = luminance(b) + 0.05;
    return la > lb ? la / lb : lb / la;
}

// Windows' own palette draws an inactive selection white on a very light grey; in the look a
// list's selection reads the same whether or not its list or window has the focus.
TEST(ApplyLook, KeepsTheSelectionReadableWithoutTheFocus) {
    QWidget first;
    applyLook(first);  // the look's style in place, as after the first window
    const QPalette platform = QApplication::palette();
    QPalette windowsLike = platform;
    windowsLike.setColor(QPalette::Active, QPalette::Highlight, QColor(0x00, 0x78, 0xD7));
    windowsLike.setColor(QPalette::Active, QPalette::HighlightedText, Qt::white);
    windowsLike.setColor(QPalette::Inactive, QPalette::Highlight, QColor(0xF0, 0xF0, 0xF0));
    windowsLike.setColor(QPalette::Inactive, QPalette::HighlightedText, Qt::white);
    QApplication::setPalette(windowsLike);

    QWidget window;
    applyLook(window);
    QListWidget list(&window);
    for (const QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive}) {
        SCOPED_TRACE(group);
        const QPalette& palette = list.palette();
        EXPECT_EQ(palette.color(group, QPalette::Highlight), QColor(0x00, 0x78, 0xD7));
        EXPECT_EQ(palette.color(group, QPalette::HighlightedText), QColor(Qt::white));
        // Well above the 1.1 of white on the light grey, at least what screen-reading guidelines
        // ask of a control's parts.
        EXPECT_GE(contrast(palette.color(group, QPalette::Highlight),
                           palette.color(group, QPalette::HighlightedText)),
                  3.0);
    }
    QApplication::setPalette(platform);
}

TEST(CentreOnScreen, PutsTheWindowInTheMiddleOfItsScreen) {
    QWidget window;
    window.resize(200, 100);
    window.move(0, 0);
    centreOnScreen(window);
    ASSERT_NE(window.screen(), nullptr);
    const QPoint middle = window.screen()->availableGeometry().center();
    EXPECT_LE((window.frameGeometry().center() - middle).manhattanLength(), 1);
}

TEST(LookStyle, IsInstalledOnceForTheWholeApplication) {
    QWidget first;
    applyLook(first);
    QStyle* style = QApplication::style();
    QWidget second;
    applyLook(second);
    EXPECT_EQ(QApplication::style(), style);
    EXPECT_TRUE(first.styleSheet().isEmpty());
}

}  // namespace
}  // namespace velmora::ui
