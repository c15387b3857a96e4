#include "documents/auto_map.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "core/error.h"

namespace velmora {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

// Node 1: 3 output and 4 input bytes; node 2: none; node 3: 2 output and 1 input byte.
DNNodeLists threeNodes() {
    DNNodeLists lists;
    const std::array<std::pair<int, int>, 3> bytes{{{3, 4}, {0, 0}, {2, 1}}};
    for (int n = 0; n < 3; ++n) {
        const auto [out, in] = bytes[static_cast<std::size_t>(n)];
        lists.DNNodeListRead.push_back({n, n + 1, std::to_string(n), std::to_string(out), out, {}});
        lists.DNNodeListWrite.push_back({n, n + 1, std::to_string(n), std::to_string(in), in, {}});
    }
    return lists;
}

// The entries of one node as "Index/PosComp" texts.
std::vector<std::string> entries(const DNNodeLists& lists, MapSide side, std::size_t node) {
    std::vector<std::string> texts;
    for (const TClIndMB& entry : lists.list(side).at(node).IndMBList) {
        texts.push_back(entry.Index() + "/" + entry.PosComp());
    }
    return texts;
}

std::string document(const DNNodeLists& lists) { return registerMapDocument(RegisterMap{lists}); }

TEST(AutoMap, FirstByteLowPutsTheSecondByteOfEachPairInTheHighHalf) {
    DNNodeLists lists = threeNodes();
    const AutoMapResult result = autoMap(lists, AutoMapOptions{});
    // Register 0 of node 1: high Byte2, low Byte1 (2 × 65536 + 1); byte 3 alone, low.
    EXPECT_THAT(entries(lists, MapSide::Read, 0), ElementsAre("0/131073", "1/3"));
    EXPECT_THAT(entries(lists, MapSide::Read, 1), IsEmpty());
    EXPECT_THAT(entries(lists, MapSide::Read, 2), ElementsAre("2/131073"));
    EXPECT_THAT(entries(lists, MapSide::Write, 0), ElementsAre("0/131073", "1/262147"));
    EXPECT_THAT(entries(lists, MapSide::Write, 2), ElementsAre("2/1"));
    ASSERT_EQ(result.added.size(), 6u);
    EXPECT_EQ(result.added[0], (AutoMappedRegister{MapSide::Read, 1, 0, {2, 1}}));
    EXPECT_EQ(result.added[5], (AutoMappedRegister{MapSide::Write, 3, 2, {0, 1}}));
    EXPECT_THAT(result.overflow, IsEmpty());
}

TEST(AutoMap, FirstByteHighAndOwnStartsPerMap) {
    DNNodeLists lists = threeNodes();
    AutoMapOptions options;
    options.order = AutoMapByteOrder::FirstByteHigh;
    options.readStart = 100;
    options.writeStart = 7;
    autoMap(lists, options);
    // High Byte1, low Byte2; an odd last byte stands high beside "None".
    EXPECT_THAT(entries(lists, MapSide::Read, 0), ElementsAre("100/65538", "101/196608"));
    EXPECT_THAT(entries(lists, MapSide::Read, 2), ElementsAre("102/65538"));
    EXPECT_THAT(entries(lists, MapSide::Write, 0), ElementsAre("7/65538", "8/196612"));
    EXPECT_THAT(entries(lists, MapSide::Write, 2), ElementsAre("9/65536"));
}

TEST(AutoMap, AddModeKeepsHandMadeRegistersAndSkipsTheirBytesAndIndexes) {
    DNNodeLists lists = threeNodes();
    TClDNNode& node = lists.DNNodeListRead[0];
    node.NByte = 6;
    // Byte 2 carried in a high half at index 1, byte 5 in a low half at index 3.
    node.appendEntry(TClIndMB("1", "131072"));
    node.appendEntry(TClIndMB("0x3", "5"));
    AutoMapOptions options;
    options.write = false;
    const AutoMapResult result = autoMap(lists, options);
    EXPECT_THAT(entries(lists, MapSide::Read, 0),
                ElementsAre("1/131072", "0x3/5", "0/1", "2/262147", "4/393216"));
    EXPECT_THAT(entries(lists, MapSide::Read, 2), ElementsAre("5/131073"));
    EXPECT_THAT(entries(lists, MapSide::Write, 0), IsEmpty());
    EXPECT_EQ(result.added.size(), 4u);
    EXPECT_EQ(result.removed, 0u);

    // Everything is carried now: a second run adds nothing and the document stays as it was.
    const std::string before = document(lists);
    EXPECT_THAT(autoMap(lists, options).added, IsEmpty());
    EXPECT_EQ(document(lists), before);
}

TEST(AutoMap, ReplaceDropsTheChosenMapsOnly) {
    DNNodeLists lists = threeNodes();
    lists.DNNodeListRead[0].appendEntry(TClIndMB("0", "1"));
    lists.DNNodeListWrite[0].appendEntry(TClIndMB("40", "1"));
    AutoMapOptions options;
    options.mode = AutoMapMode::Replace;
    options.write = false;
    const AutoMapResult result = autoMap(lists, options);
    EXPECT_EQ(result.removed, 1u);
    EXPECT_THAT(entries(lists, MapSide::Read, 0), ElementsAre("0/131073", "1/3"));
    EXPECT_THAT(entries(lists, MapSide::Write, 0), ElementsAre("40/1"));
}

TEST(AutoMap, BytesPastIndex65535AreReportedNotWritten) {
    DNNodeLists lists = threeNodes();
    lists.DNNodeListRead[0].NByte = 8;
    lists.DNNodeListRead[0].appendEntry(TClIndMB("65535", "0"));
    AutoMapOptions options;
    options.readStart = 65533;
    options.write = false;
    const AutoMapResult result = autoMap(lists, options);
    EXPECT_THAT(entries(lists, MapSide::Read, 0),
                ElementsAre("65535/0", "65533/131073", "65534/262147"));
    EXPECT_THAT(entries(lists, MapSide::Read, 2), IsEmpty());
    EXPECT_THAT(result.overflow, ElementsAre(AutoMapOverflow{MapSide::Read, 1, {5, 6, 7, 8}},
                                             AutoMapOverflow{MapSide::Read, 3, {1, 2}}));
}

TEST(AutoMap, RefusesBeforeChangingAnything) {
    struct Case {
        const char* what;
        std::int32_t writeStart;
        const char* posComp;
    };
    for (const Case& c : {Case{"start past 65535", 65536, "1"}, Case{"start below 0", -1, "1"},
                          Case{"PosComp not an integer", 0, "1x"}}) {
        SCOPED_TRACE(c.what);
        DNNodeLists lists = threeNodes();
        lists.DNNodeListWrite[2].appendEntry(TClIndMB("9", c.posComp));
        const std::string before = entries(lists, MapSide::Write, 2).front();
        AutoMapOptions options;
        options.writeStart = c.writeStart;
        EXPECT_THROW(autoMap(lists, options), Error);
        EXPECT_THAT(entries(lists, MapSide::Read, 0), IsEmpty());
        EXPECT_THAT(entries(lists, MapSide::Write, 2), ElementsAre(before));
    }
}

TEST(AutoMap, ByteRunsText) {
    EXPECT_EQ(byteRunsText({7}), "byte 7");
    EXPECT_EQ(byteRunsText({1, 2}), "bytes 1 to 2");
    EXPECT_EQ(byteRunsText({3, 5, 6, 7, 9}), "bytes 3, 5 to 7, 9");
}

}  // namespace
}  // namespace velmora
