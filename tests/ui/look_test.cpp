#include "ui/look.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QSvgRenderer>

namespace velmora::ui {
namespace {

qsizetype parsedPictures() {
    return QCoreApplication::instance()->findChildren<QSvgRenderer*>().size();
}

// Every icon comes at the two sizes the windows draw; its SVG is parsed on first use only, and
// later uses draw nothing again. (No other test of this program uses "refresh" or "next".)
TEST(LookIcon, ParsesEachSvgOnceAndGivesBothSizes) {
    const qsizetype before = parsedPictures();
    const QIcon refresh = lookIcon("refresh");
    ASSERT_FALSE(refresh.isNull());
    EXPECT_EQ(refresh.availableSizes(), (QList<QSize>{QSize(16, 16), QSize(32, 32)}));
    EXPECT_EQ(parsedPictures(), before + 1);

    const QIcon again = lookIcon("refresh");
    EXPECT_EQ(parsedPictures(), before + 1);
    EXPECT_EQ(again.pixmap(16).cacheKey(), refresh.pixmap(16).cacheKey());
    EXPECT_EQ(again.pixmap(32).cacheKey(), refresh.pixmap(32).cacheKey());

    EXPECT_FALSE(lookIcon("next").isNull());
    EXPECT_EQ(parsedPictures(), before + 2);
    EXPECT_TRUE(lookIcon("no-such-icon").isNull());
}

TEST(LogoPixmap, DrawsTheLogoAtEachSizeFromOneParse) {
    const qsizetype before = parsedPictures();
    EXPECT_EQ(logoPixmap(64).size(), QSize(64, 64));
    EXPECT_EQ(logoPixmap(81).size(), QSize(81, 81));
    EXPECT_LE(parsedPictures(), before + 1);
}

}  // namespace
}  // namespace velmora::ui
