#include "ui/after_first_paint.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QTest>
#include <QWidget>

#include <memory>

namespace velmora::ui {
namespace {

TEST(AfterFirstPaint, RunsOnceAfterTheWindowWasFirstPainted) {
    QWidget window;
    window.resize(100, 60);
    int runs = 0;
    bool paintedBefore = false;
    afterFirstPaint(window, [&] {
        ++runs;
        paintedBefore = window.isVisible();
    });
    QCoreApplication::processEvents();
    EXPECT_EQ(runs, 0);  // not shown, so never painted

    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    EXPECT_TRUE(QTest::qWaitFor([&] { return runs > 0; }));
    EXPECT_TRUE(paintedBefore);

    window.repaint();
    window.hide();
    window.show();
    QTest::qWait(20);
    EXPECT_EQ(runs, 1);
}

TEST(AfterFirstPaint, RunsNothingForAWindowGoneBeforeItsFirstPaint) {
    int runs = 0;
    {
        auto window = std::make_unique<QWidget>();
        afterFirstPaint(*window, [&] { ++runs; });
    }
    QTest::qWait(20);
    EXPECT_EQ(runs, 0);
}

}  // namespace
}  // namespace velmora::ui
