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
        {"/dev/ttyS2", "/dev/ttyS10"},
        {"COM9", "COM10"},
        {"/dev/ttyUSB0", "/dev/ttyUSB1"},
        {"/dev/ttyACM3", "/dev/ttyS0"},  // text before the number decides first
        {"/dev/ttyS10", "/dev/ttyUSB2"},
        {"/dev/ttyS1", "/dev/ttyS1a"},  // a prefix comes first
        {"ttyS01", "ttyS1"},            // equal numbers: the plain order keeps it strict
        {"ttyS99999999999999999999", "ttyS100000000000000000000"},  // beyond any integer type
    };
    for (const Case& c : cases) {
        EXPECT_TRUE(naturalLess(c.less, c.more)) << c.less << " < " << c.more;
        EXPECT_FALSE(naturalLess(c.more, c.less)) << c.more << " < " << c.less;
    }
    EXPECT_FALSE(naturalLess("COM3", "COM3"));
}

TEST(NaturalOrder, EnumerateComPortsListsTheNamesInNaturalOrder) {
    const PortLister lister = [] {
        return std::vector<std::string>{"/dev/ttyUSB10", "/dev/ttyS10", "/dev/ttyUSB2",
                                        "/dev/ttyS2", "/dev/ttyACM0"};
    };
    EXPECT_EQ(EnumerateComPorts(lister),
              (std::vector<std::string>{"/dev/ttyACM0", "/dev/ttyS2", "/dev/ttyS10", "/dev/ttyUSB2",
                                        "/dev/ttyUSB10"}));
    EXPECT_TRUE(EnumerateComPorts([] { return std::vector<std::string>{}; }).empty());
}

}  // namespace
}  // namespace velmora::ui
