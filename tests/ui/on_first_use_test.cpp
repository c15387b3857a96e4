#include "ui/on_first_use.h"

#include <gtest/gtest.h>

#include <QWidget>
#include <memory>

namespace velmora::ui {
namespace {

TEST(OnFirstUse, MakesTheWindowOnceOnFirstUseAndLeavesItToItsParent) {
    auto owner = std::make_unique<QWidget>();
    int made = 0;
    int destroyed = 0;
    OnFirstUse<QWidget> window([&] {
        ++made;
        auto* w = new QWidget(owner.get(), Qt::Window);
        QObject::connect(w, &QObject::destroyed, [&] { ++destroyed; });
        return w;
    });
    EXPECT_FALSE(window.made());
    EXPECT_EQ(made, 0);

    QWidget& first = window();
    first.setObjectName("kept");
    EXPECT_EQ(&window(), &first);
    EXPECT_EQ(window().objectName(), "kept");
    EXPECT_EQ(made, 1);
    EXPECT_TRUE(window.made());

    owner.reset();  // the parent deletes it, once; the holder does not
    EXPECT_EQ(destroyed, 1);
    EXPECT_FALSE(window.made());
}

}  // namespace
}  // namespace velmora::ui
