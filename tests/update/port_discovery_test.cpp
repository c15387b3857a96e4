#include "update/port_discovery.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace velmora::ui {
namespace {

TEST(NaturalOrder, NumbersInNamesCompareAsNumbers) {
    struct Case {
        std::string less, more;
    };
    const std::vector<Case> cases = {
        {"/dev/ttyUSB2", "/dev/ttyUSB10"},
        {"COM9", "COM10"},
        {"/dev/ttyUSB0", "/dev/ttyUSB1"},
        {"/dev/ttyACM3", "/dev/ttyUSB0"},  // text before the number decides first
        {"/dev/ttyACM10", "/dev/ttyUSB2"},
        {"/dev/ttyUSB1", "/dev/ttyUSB1a"},  // a prefix comes first
        {"ttyUSB01", "ttyUSB1"},            // equal numbers: the plain order keeps it strict
        {"ttyUSB99999999999999999999", "ttyUSB100000000000000000000"},  // beyond any integer
    };
    for (const Case& c : cases) {
        EXPECT_TRUE(naturalLess(c.less, c.more)) << c.less << " < " << c.more;
        EXPECT_FALSE(naturalLess(c.more, c.less)) << c.more << " < " << c.less;
    }
    EXPECT_FALSE(naturalLess("COM3", "COM3"));
}

TEST(NaturalOrder, EnumerateComPortsListsTheNamesInNaturalOrder) {
    const PortLister lister = [] {
        return std::vector<std::string>{"/dev/ttyUSB10", "/dev/ttyACM10", "/dev/ttyUSB2",
                                        "/dev/ttyACM2", "/dev/ttyAMA0"};
    };
    EXPECT_EQ(EnumerateComPorts(lister),
              (std::vector<std::string>{"/dev/ttyACM2", "/dev/ttyACM10", "/dev/ttyAMA0",
                                        "/dev/ttyUSB2", "/dev/ttyUSB10"}));
    EXPECT_TRUE(EnumerateComPorts([] { return std::vector<std::string>{}; }).empty());
}

TEST(ComPortProbe, BoundFollowsTheOperatingSystemFamily) {
    EXPECT_EQ(comPortProbeBound(true), 256);
    EXPECT_EQ(comPortProbeBound(false), 9);
}

TEST(ComPortProbe, OpenedAndAccessDeniedCountAsPresentUpToTheBound) {
    std::vector<int> probed;
    const auto found = presentComPorts(9, [&](int n) {
        probed.push_back(n);
        if (n == 1 || n == 9 || n == 10) return ComProbe::opened;
        if (n == 4) return ComProbe::accessDenied;  // held by another program
        return ComProbe::absent;
    });
    EXPECT_EQ(found, (std::vector<int>{1, 4, 9}));
    EXPECT_EQ(probed, (std::vector<int>{1, 2, 3, 4, 5, 6, 7, 8, 9}));
    EXPECT_TRUE(presentComPorts(256, [](int) { return ComProbe::absent; }).empty());
}

}  // namespace
}  // namespace velmora::ui
