#include "documents/register_map.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "core/error.h"
#include "support/row_fault.h"
#include "support/temp_dir.h"

namespace velmora {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;

constexpr char kInUse[] = "Index or Subindex Not Valid";
constexpr char kNodesFailed[] = "Error in reading file PDO XML";
constexpr char kEntriesFailed[] = "Error in reading file SDOPDO XML";
constexpr char kEmptyMap[] = "<InfoMod><Modbus_Read/><Modbus_Write/></InfoMod>";
constexpr char kTwoNodes[] =
    "<DNET_Net><row ID=\"5\" NB_IN=\"4\" NB_OUT=\"2\" Mnemonic=\"Drive\"/>"
    "<row ID=\" 0x9\" NB_IN=\"8\" NB_OUT=\"+6\" Mnemonic=\"\"/></DNET_Net>";

std::string row(const std::string& index, int nr, const std::string& posComp) {
    return "<row Index=\"" + index + "\" NrDNNode=\"" + std::to_string(nr) + "\" PosComp=\"" +
           posComp + "\"/>";
}

// A list element as the writer serialises it: an empty list is an empty-element tag.
std::string list(const std::string& name, const std::string& rows) {
    return rows.empty() ? "<" + name + "/>" : "<" + name + ">" + rows + "</" + name + ">";
}

std::string defReg(const std::string& readRows, const std::string& writeRows) {
    return "<InfoMod>" + list("Modbus_Read", readRows) + list("Modbus_Write", writeRows) +
           "</InfoMod>";
}

// The index texts of one node's entries, in model order.
std::vector<std::string> indexes(const TClDNNode& node) {
    std::vector<std::string> result;
    for (const TClIndMB& entry : node.IndMBList) result.push_back(entry.Index());
    return result;
}

TClDNNode nodeWith(int nr, std::vector<std::string> indexTexts) {
    TClDNNode node;
    node.NrDNNode = nr;
    for (auto& text : indexTexts) node.appendEntry(TClIndMB(std::move(text), "0"));
    return node;
}

using test::RowFault;
using test::rowFault;

class RegisterMapFiles : public ::testing::Test {
protected:
    RegisterMap load() {
        RegisterMapLoad load = LoadRegisterMap(dnet, defRegFile);
        messages.insert(messages.end(), load.messages.begin(), load.messages.end());
        return std::move(load.map);
    }
    std::string saveAndRead(const RegisterMap& map) {
        SaveRegisterMap(map, defRegFile);
        return test::readText(defRegFile);
    }

    test::TempDir dir;
    std::filesystem::path dnet = dir / "DNET_Net.xml";
    std::filesystem::path defRegFile = dir / "DefReg.xml";
    std::vector<std::string> messages;
};

TEST_F(RegisterMapFiles, NeitherDocumentGivesNoNodeListsAndSavesTwoEmptyLists) {
    const RegisterMap map = load();
    EXPECT_FALSE(map.nodeLists);
    EXPECT_THAT(messages, IsEmpty());
    EXPECT_EQ(saveAndRead(map), kEmptyMap);
}

TEST_F(RegisterMapFiles, NodesWithoutRegisterMapCarryTheirTextsPerSide) {
    test::writeText(dnet, kTwoNodes);
    const RegisterMap map = load();
    EXPECT_THAT(messages, IsEmpty());
    ASSERT_TRUE(map.nodeLists);
    const auto& read = map.nodeLists->DNNodeListRead;
    const auto& write = map.nodeLists->DNNodeListWrite;
    ASSERT_EQ(read.size(), 2u);
    ASSERT_EQ(write.size(), 2u);
    EXPECT_EQ(read[1].NrDNNode, 2);
    EXPECT_EQ(read[1].ID, 9);
    EXPECT_EQ(read[1].IDText, " 0x9");
    EXPECT_EQ(read[1].NByteText, "+6");
    EXPECT_EQ(read[1].NByte, 6);
    EXPECT_EQ(write[1].NrDNNode, 2);
    EXPECT_EQ(write[1].IDText, " 0x9");
    EXPECT_EQ(write[1].NByteText, "8");
    EXPECT_EQ(write[1].NByte, 8);
    EXPECT_THAT(read[0].IndMBList, IsEmpty());
    EXPECT_THAT(write[0].IndMBList, IsEmpty());
}

TEST_F(RegisterMapFiles, RowsArePlacedByNodePositionInDocumentOrder) {
    test::writeText(dnet, kTwoNodes);
    test::writeText(defRegFile, defReg(row("9", 2, "1") + row("3", 1, "131072") + row("1", 2, "0"),
                                       row("0x10", 1, "196612")));
    const RegisterMap map = load();
    EXPECT_THAT(messages, IsEmpty());
    const auto& read = map.nodeLists->DNNodeListRead;
    EXPECT_THAT(indexes(read[0]), ElementsAre("3"));
    EXPECT_THAT(indexes(read[1]), ElementsAre("9", "1"));
    EXPECT_EQ(read[0].IndMBList[0].PosComp(), "131072");
    const auto& write = map.nodeLists->DNNodeListWrite;
    EXPECT_THAT(indexes(write[0]), ElementsAre("0x10"));
    EXPECT_EQ(write[0].IndMBList[0].indexValue(), 16);
    EXPECT_THAT(write[1].IndMBList, IsEmpty());
}

TEST_F(RegisterMapFiles, MissingDeviceNetDocumentFailsAtTheFirstRowAndSavesEmptyLists) {
    test::writeText(defRegFile, defReg("", row("4", 1, "0")));
    const RegisterMap map = load();
    EXPECT_THAT(messages, ElementsAre(kEntriesFailed));
    EXPECT_FALSE(map.nodeLists);
    EXPECT_EQ(saveAndRead(map), kEmptyMap);
}

TEST_F(RegisterMapFiles, DeviceNetRootWithoutRowsSkipsEveryRowSilently) {
    test::writeText(dnet, "<DNET_Net/>");
    test::writeText(defRegFile, defReg(row("1", 1, "0"), row("2", 7, "0")));
    const RegisterMap map = load();
    EXPECT_THAT(messages, IsEmpty());
    ASSERT_TRUE(map.nodeLists);
    EXPECT_THAT(map.nodeLists->DNNodeListRead, IsEmpty());
    EXPECT_EQ(saveAndRead(map), kEmptyMap);
}

TEST_F(RegisterMapFiles, RowOfANodeBeyondTheListIsSkippedWithoutReadingItsOtherAttributes) {
    test::writeText(dnet, kTwoNodes);
    test::writeText(defRegFile,
                    defReg(row("1", 1, "0") + "<row NrDNNode=\"3\"/>" + row("2", 2, "5"), ""));
    const RegisterMap map = load();
    EXPECT_THAT(messages, IsEmpty());
    EXPECT_EQ(saveAndRead(map), defReg(row("1", 1, "0") + row("2", 2, "5"), ""));
}

TEST_F(RegisterMapFiles, NodePositionZeroStopsThePlacingKeepingEarlierRows) {
    test::writeText(dnet, kTwoNodes);
    test::writeText(defRegFile, defReg(row("1", 1, "0") + row("2", 2, "0") + row("3", 0, "0") +
                                           row("4", 1, "0"),
                                       row("5", 1, "0")));
    const RegisterMap map = load();
    EXPECT_THAT(messages, ElementsAre(kEntriesFailed));
    const auto& lists = *map.nodeLists;
    EXPECT_THAT(indexes(lists.DNNodeListRead[0]), ElementsAre("1"));
    EXPECT_THAT(indexes(lists.DNNodeListRead[1]), ElementsAre("2"));
    EXPECT_THAT(lists.DNNodeListWrite[0].IndMBList, IsEmpty());
    EXPECT_EQ(saveAndRead(map), defReg(row("1", 1, "0") + row("2", 2, "0"), ""));
}

TEST_F(RegisterMapFiles, RowsFollowNodePositionsWhenADeviceNetRowIsRemoved) {
    test::writeText(dnet, kTwoNodes);
    test::writeText(defRegFile, defReg(row("1", 1, "0") + row("2", 2, "0"), ""));
    SaveRegisterMap(load(), defRegFile);
    test::writeText(
        dnet, "<DNET_Net><row ID=\" 0x9\" NB_IN=\"8\" NB_OUT=\"+6\" Mnemonic=\"\"/></DNET_Net>");
    const RegisterMap map = load();
    EXPECT_THAT(messages, IsEmpty());
    ASSERT_EQ(map.nodeLists->DNNodeListRead.size(), 1u);
    EXPECT_EQ(map.nodeLists->DNNodeListRead[0].IDText, " 0x9");
    EXPECT_THAT(indexes(map.nodeLists->DNNodeListRead[0]), ElementsAre("1"));
}

struct PlacingFailure {
    const char* name;
    std::string document;
    std::vector<std::string> readKept;  // index texts placed on node 1 of the read map
};

class RegisterMapPlacingFailure : public RegisterMapFiles,
                                  public ::testing::WithParamInterface<PlacingFailure> {};

TEST_P(RegisterMapPlacingFailure, ShowsTheMessageAndKeepsWhatWasPlaced) {
    test::writeText(dnet, kTwoNodes);
    test::writeText(defRegFile, GetParam().document);
    const RegisterMap map = load();
    EXPECT_THAT(messages, ElementsAre(kEntriesFailed));
    ASSERT_TRUE(map.nodeLists);
    EXPECT_EQ(indexes(map.nodeLists->DNNodeListRead[0]), GetParam().readKept);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, RegisterMapPlacingFailure,
    ::testing::Values(
        PlacingFailure{"NotWellFormed", "<InfoMod><Modbus_Read>", {}},
        PlacingFailure{"NoReadList", "<InfoMod><Modbus_Write/></InfoMod>", {}},
        PlacingFailure{"NoWriteList",
                       "<InfoMod><Modbus_Read>" + row("1", 1, "0") + "</Modbus_Read></InfoMod>",
                       {"1"}},
        PlacingFailure{
            "NodePositionNotInteger",
            defReg(row("1", 1, "0") + "<row Index=\"2\" NrDNNode=\"1 \" PosComp=\"0\"/>", ""),
            {"1"}},
        PlacingFailure{
            "NodePositionNegative", defReg(row("1", 1, "0") + row("2", -1, "0"), ""), {"1"}},
        PlacingFailure{"NodePositionMissing", defReg("<row Index=\"2\" PosComp=\"0\"/>", ""), {}},
        PlacingFailure{"IndexMissing", defReg("<row NrDNNode=\"1\" PosComp=\"0\"/>", ""), {}},
        PlacingFailure{"PosCompMissing",
                       defReg(row("1", 1, "0") + "<row Index=\"2\" NrDNNode=\"1\"/>", ""),
                       {"1"}},
        PlacingFailure{"RowNotAnElement", defReg(row("1", 1, "0") + "<!-- x -->", ""), {"1"}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(RegisterMapFiles, NodeFailureKeepsEarlierNodesInBothLists) {
    test::writeText(dnet,
                    "<DNET_Net><row ID=\"1\" NB_IN=\"2\" NB_OUT=\"3\"/>"
                    "<row ID=\"2\" NB_IN=\"x\" NB_OUT=\"3\"/><row ID=\"3\" NB_IN=\"1\" "
                    "NB_OUT=\"1\"/></DNET_Net>");
    test::writeText(defRegFile, defReg(row("1", 1, "0") + row("2", 2, "0"), ""));
    const RegisterMap map = load();
    EXPECT_THAT(messages, ElementsAre(kNodesFailed));
    ASSERT_TRUE(map.nodeLists);
    ASSERT_EQ(map.nodeLists->DNNodeListRead.size(), 1u);
    ASSERT_EQ(map.nodeLists->DNNodeListWrite.size(), 1u);
    EXPECT_THAT(indexes(map.nodeLists->DNNodeListRead[0]), ElementsAre("1"));
}

TEST_F(RegisterMapFiles, NodeRowWithoutAnAttributeFails) {
    test::writeText(dnet, "<DNET_Net><row ID=\"1\" NB_OUT=\"3\"/></DNET_Net>");
    const RegisterMap map = load();
    EXPECT_THAT(messages, ElementsAre(kNodesFailed));
    ASSERT_TRUE(map.nodeLists);
    EXPECT_THAT(map.nodeLists->DNNodeListRead, IsEmpty());
}

TEST_F(RegisterMapFiles, UnreadableDeviceNetDocumentGivesBothMessagesInOrder) {
    test::writeText(dnet, "<DNET_Net><row ID=\"1\"></DNET_Net>");
    test::writeText(defRegFile, defReg(row("1", 1, "0"), ""));
    const RegisterMap map = load();
    EXPECT_THAT(messages, ElementsAre(kNodesFailed, kEntriesFailed));
    EXPECT_FALSE(map.nodeLists);
}

TEST_F(RegisterMapFiles, EqualValuesAreWrittenInReverseModelOrderWithTheirOwnTexts) {
    test::writeText(dnet, kTwoNodes);
    test::writeText(defRegFile, defReg(row("7", 1, "1") + row("0x7", 1, "2"), ""));
    EXPECT_EQ(saveAndRead(load()), defReg(row("0x7", 1, "2") + row("7", 1, "1"), ""));
}

TEST_F(RegisterMapFiles, RowsAreOrderedByValueAcrossNodesLaterNodeFirstOnTies) {
    test::writeText(dnet, kTwoNodes);
    test::writeText(defRegFile, defReg(row("$20", 1, "0") + row(" 3", 2, "0") +
                                           row("+0x3", 1, "0") + row("1", 2, "0"),
                                       row("65535", 2, "0") + row("0", 1, "0")));
    EXPECT_EQ(saveAndRead(load()), defReg(row("1", 2, "0") + row(" 3", 2, "0") +
                                              row("+0x3", 1, "0") + row("$20", 1, "0"),
                                          row("0", 1, "0") + row("65535", 2, "0")));
}

TEST_F(RegisterMapFiles, SavedMapReloadsWithAscendingEntriesInEachNode) {
    test::writeText(dnet, kTwoNodes);
    test::writeText(defRegFile, defReg(row("30", 1, "0") + row("10", 2, "1") + row("20", 1, "0"),
                                       row("x2", 2, "0") + row("1", 2, "196612")));
    const std::string first = saveAndRead(load());
    const RegisterMap reloaded = load();
    EXPECT_THAT(messages, IsEmpty());
    EXPECT_THAT(indexes(reloaded.nodeLists->DNNodeListRead[0]), ElementsAre("20", "30"));
    EXPECT_THAT(indexes(reloaded.nodeLists->DNNodeListRead[1]), ElementsAre("10"));
    EXPECT_THAT(indexes(reloaded.nodeLists->DNNodeListWrite[1]), ElementsAre("1", "x2"));
    EXPECT_EQ(saveAndRead(reloaded), first);
}

TEST_F(RegisterMapFiles, TypedTextsAreWrittenExactly) {
    test::writeText(dnet, kTwoNodes);
    RegisterMap map = load();
    map.nodeLists->DNNodeListRead[0].appendEntry(TClIndMB(" 0x10", "65537"));
    const std::string saved = saveAndRead(map);
    EXPECT_EQ(saved, defReg(row(" 0x10", 1, "65537"), ""));
}

class RegisterMapBadIndex : public RegisterMapFiles,
                            public ::testing::WithParamInterface<const char*> {};

TEST_P(RegisterMapBadIndex, SaveFailsAsAWholeNamingTheIndexAndNode) {
    test::writeText(dnet, kTwoNodes);
    test::writeText(defRegFile,
                    defReg(row("1", 1, "0"), row("2", 1, "0") + row(GetParam(), 2, "0")));
    const std::string before = test::readText(defRegFile);
    const RegisterMap map = load();
    try {
        SaveRegisterMap(map, defRegFile);
        FAIL() << "saved";
    } catch (const Error& e) {
        EXPECT_THAT(e.what(), HasSubstr("\"" + std::string(GetParam()) + "\""));
        EXPECT_THAT(e.what(), HasSubstr("node 2"));
    }
    EXPECT_EQ(test::readText(defRegFile), before);
}

INSTANTIATE_TEST_SUITE_P(Cases, RegisterMapBadIndex,
                         ::testing::Values("abc", "", "7 ", "65536", "-1"));

TEST_F(RegisterMapFiles, SaveIntoAMissingFolderFails) {
    EXPECT_THROW(SaveRegisterMap(RegisterMap{}, dir / "gone" / "DefReg.xml"), Error);
}

TEST(RegisterMapEntries, AppendReplaceAndRemoveKeepOrderAndValues) {
    TClDNNode node = nodeWith(1, {"1", "2", "3"});
    node.replaceEntry(1, "0x20", "131072");
    EXPECT_THAT(indexes(node), ElementsAre("1", "0x20", "3"));
    EXPECT_EQ(node.IndMBList[1].indexValue(), 32);
    EXPECT_EQ(node.IndMBList[1].PosComp(), "131072");
    node.removeEntry(0);
    EXPECT_THAT(indexes(node), ElementsAre("0x20", "3"));
    EXPECT_THROW(node.removeEntry(2), Error);
    EXPECT_THROW(node.replaceEntry(2, "1", "0"), Error);
    node.IndMBList[0].setIndex("text");
    EXPECT_FALSE(node.IndMBList[0].indexValue());
}

class RegisterMapIndexInUse : public ::testing::Test {
protected:
    bool inUse(std::string_view text, int exceptNode = -1, int exceptEntry = -1) {
        const bool used = IndexInUse(nodes, text, exceptNode, exceptEntry);
        if (used) messages.emplace_back(kIndexInUseMessage);
        return used;
    }

    DNNodeList nodes{nodeWith(1, {"1", "2"}), nodeWith(2, {}), nodeWith(3, {"16"})};
    std::vector<std::string> messages;
};

TEST_F(RegisterMapIndexInUse, EqualValueInAnyNodeIsInUseWithTheMessage) {
    EXPECT_TRUE(inUse("0x10"));
    EXPECT_THAT(messages, ElementsAre(kInUse));
}

TEST_F(RegisterMapIndexInUse, FreeIndexIsNotInUseWithoutMessage) {
    EXPECT_FALSE(inUse("3"));
    EXPECT_THAT(messages, IsEmpty());
}

TEST_F(RegisterMapIndexInUse, TheExceptedEntryIsNotCompared) {
    EXPECT_FALSE(inUse("16", 2, 0));
    EXPECT_TRUE(inUse("16", 0, 0));
    EXPECT_TRUE(inUse("2", 0, 0));
    EXPECT_THAT(messages, ElementsAre(kInUse, kInUse));
}

TEST_F(RegisterMapIndexInUse, MinusOneInEitherPositionComparesEveryEntry) {
    EXPECT_TRUE(inUse("16", 2, -1));
    EXPECT_TRUE(inUse("16", -1, 0));
}

TEST_F(RegisterMapIndexInUse, TheMapsAreIndependent) {
    DNNodeLists lists;
    lists.DNNodeListRead = nodes;
    lists.DNNodeListWrite = {nodeWith(1, {}), nodeWith(2, {}), nodeWith(3, {})};
    EXPECT_FALSE(IndexInUse(lists.list(MapSide::Write), "16", -1, -1));
    EXPECT_TRUE(IndexInUse(lists.list(MapSide::Read), "16", -1, -1));
}

TEST_F(RegisterMapIndexInUse, NonIntegerTextFailsOnlyWhenAnEntryIsCompared) {
    EXPECT_THROW(inUse(""), Error);
    EXPECT_THROW(inUse("1 "), Error);
    DNNodeList noEntries{nodeWith(1, {}), nodeWith(2, {})};
    EXPECT_FALSE(IndexInUse(noEntries, "", -1, -1));
    EXPECT_THAT(messages, IsEmpty());
}

TEST_F(RegisterMapIndexInUse, NonIntegerEntryFailsWhereTheWalkReachesIt) {
    nodes[1].appendEntry(TClIndMB("bad", "0"));
    EXPECT_TRUE(inUse("2"));
    try {
        inUse("16");
        FAIL() << "no failure";
    } catch (const Error& e) {
        EXPECT_THAT(e.what(), HasSubstr("\"bad\""));
    }
}

TEST(RegisterMapIndexInRange, AcceptsIntegerTextsFrom0To65535) {
    for (const char* text : {"0", "65535", "0xFFFF", " +7", "$10"})
        EXPECT_TRUE(IndexInRange(text)) << text;
    for (const char* text : {"-1", "65536", "70000", "", "1 ", "0x", "abc"}) {
        EXPECT_FALSE(IndexInRange(text)) << text;
    }
}

TEST(RegisterMapPosComp, PacksHighTimes65536PlusLowAndUnpacksBack) {
    struct Case {
        std::int32_t high, low, packed;
    };
    for (const Case c : {Case{3, 4, 196612}, Case{0, 1, 1}, Case{2, 0, 131072}, Case{0, 0, 0},
                         Case{455, 455, 29819335}}) {
        EXPECT_EQ(PackPosComp(c.high, c.low), c.packed);
        EXPECT_EQ(UnpackPosComp(c.packed), (PosCompChoices{c.high, c.low}));
    }
}

TEST(RegisterMapPosComp, NegativeValuesUnpackAsUnsignedHalves) {
    EXPECT_EQ(PackPosComp(-1, 0), -65536);
    EXPECT_EQ(PackPosComp(0, -1), -1);
    EXPECT_EQ(UnpackPosComp(-1), (PosCompChoices{65535, 65535}));
    EXPECT_EQ(UnpackPosComp(-65536), (PosCompChoices{65535, 0}));
}

// ---- the placement rule of one register row, shared with the composer

struct PlacementCase {
    const char* label;
    const char* row;
    RegisterValues values;
    std::optional<PlacedRegisterRow> placed;  // row 1 of the read list, when placed
    std::optional<std::string> fault;
};

void PrintTo(const PlacementCase& c, std::ostream* os) { *os << c.label; }

class RegisterRowPlacement : public ::testing::TestWithParam<PlacementCase> {};

TEST_P(RegisterRowPlacement, SkipsRefusesOrPlacesOnTwoNodes) {
    test::TempDir dir;
    test::writeText(dir / "DefReg.xml", "<InfoMod><Modbus_Read>" + std::string(GetParam().row) +
                                            "</Modbus_Read><Modbus_Write/></InfoMod>");
    const RegisterRows rows = readRegisterRows(dir / "DefReg.xml", 2, GetParam().values);
    std::vector<PlacedRegisterRow> expected;
    if (GetParam().placed) expected.push_back(*GetParam().placed);
    EXPECT_EQ(rows.read.rows, expected);
    EXPECT_EQ(rowFault(rows.read.fault),
              GetParam().fault ? std::optional(RowFault{1, *GetParam().fault}) : std::nullopt);
}

constexpr auto kTexts = RegisterValues::Texts;
constexpr auto kIntegers = RegisterValues::Integers;

INSTANTIATE_TEST_SUITE_P(
    Cases, RegisterRowPlacement,
    ::testing::Values(
        PlacementCase{"Placed", R"(<row Index="0x10" NrDNNode="2" PosComp="-1"/>)", kIntegers,
                      PlacedRegisterRow{1, 2, "0x10", "-1"}, std::nullopt},
        PlacementCase{"AboveTheCountSkippedUnread", R"(<row NrDNNode="3"/>)", kIntegers,
                      std::nullopt, std::nullopt},
        PlacementCase{"HugeSkipped", R"(<row NrDNNode="$7FFFFFFF"/>)", kIntegers, std::nullopt,
                      std::nullopt},
        PlacementCase{"Zero", R"(<row Index="1" NrDNNode="0" PosComp="0"/>)", kTexts, std::nullopt,
                      R"(attribute "NrDNNode" is 0, but node positions start at 1)"},
        PlacementCase{"Negative", R"(<row NrDNNode="-1"/>)", kTexts, std::nullopt,
                      R"(attribute "NrDNNode" is -1, but node positions start at 1)"},
        PlacementCase{"NoNode", R"(<row Index="1" PosComp="0"/>)", kTexts, std::nullopt,
                      R"(attribute "NrDNNode" is missing)"},
        PlacementCase{"NodeNotAnInteger", R"(<row NrDNNode="one"/>)", kTexts, std::nullopt,
                      R"(attribute "NrDNNode" is not an integer: "one")"},
        PlacementCase{"TextsKeptAsTyped", R"(<row Index="x" NrDNNode="1" PosComp=" y"/>)", kTexts,
                      PlacedRegisterRow{1, 1, "x", " y"}, std::nullopt},
        PlacementCase{"IndexBeforePosComp", R"(<row Index="x" NrDNNode="1"/>)", kIntegers,
                      std::nullopt, R"(attribute "Index" is not an integer: "x")"},
        PlacementCase{"IndexMissingBeforePosComp", R"(<row NrDNNode="1"/>)", kTexts, std::nullopt,
                      R"(attribute "Index" is missing)"},
        PlacementCase{"PosCompMissing", R"(<row Index="x" NrDNNode="1"/>)", kTexts, std::nullopt,
                      R"(attribute "PosComp" is missing)"},
        PlacementCase{"PosCompNotAnInteger", R"(<row Index="1" NrDNNode="1" PosComp="1 "/>)",
                      kIntegers, std::nullopt, R"(attribute "PosComp" is not an integer: "1 ")"},
        PlacementCase{"NotAnElement", "<!-- c -->", kTexts, std::nullopt,
                      R"(node "#comment" is not an element)"}),
    [](const auto& info) { return std::string(info.param.label); });

TEST(RegisterRowReading, TakesTheFirstListOfEachNameWhereverItStandsAndStopsAtAFault) {
    test::TempDir dir;
    test::writeText(dir / "DefReg.xml",
                    "<InfoMod><Modbus_Write>" + row("1", 1, "2") + "text" + row("2", 1, "3") +
                        "</Modbus_Write><x><Modbus_Read>" + row("9", 1, "9") +
                        "</Modbus_Read></x><Modbus_Read><!-- --></Modbus_Read><Modbus_Read>" +
                        row("3", 1, "4") + "</Modbus_Read></InfoMod>");
    const RegisterRows rows = readRegisterRows(dir / "DefReg.xml", 1, RegisterValues::Integers);
    EXPECT_TRUE(rows.read.present);
    EXPECT_THAT(rows.read.rows, IsEmpty());
    EXPECT_EQ(rowFault(rows.read.fault), (RowFault{1, R"(node "#comment" is not an element)"}));
    EXPECT_TRUE(rows.write.present);
    EXPECT_THAT(rows.write.rows, ElementsAre(PlacedRegisterRow{1, 1, "1", "2"}));
    EXPECT_EQ(rowFault(rows.write.fault), (RowFault{2, R"(node "#text" is not an element)"}));
}

TEST(RegisterRowReading, WithoutNodesTheFirstChildOfAListFailsAndAMissingListIsSaid) {
    test::TempDir dir;
    test::writeText(dir / "DefReg.xml",
                    "<InfoMod><Modbus_Read>" + row("1", 5, "0") + "</Modbus_Read></InfoMod>");
    const RegisterRows rows =
        readRegisterRows(dir / "DefReg.xml", std::nullopt, RegisterValues::Texts);
    EXPECT_EQ(rowFault(rows.read.fault),
              (RowFault{1, "There are no DeviceNet nodes to place registers on"}));
    EXPECT_FALSE(rows.write.present);
}

TEST(RegisterRowReading, KeepsAtMostTheLimitOfPlacedRowsPerList) {
    test::TempDir dir;
    test::writeText(dir / "DefReg.xml",
                    defReg(row("1", 1, "0") + row("2", 9, "0") + row("3", 1, "0") + "<bad/>",
                           row("4", 1, "0")));
    const RegisterRows rows = readRegisterRows(dir / "DefReg.xml", 1, RegisterValues::Texts, 1);
    EXPECT_THAT(rows.read.rows, ElementsAre(PlacedRegisterRow{1, 1, "1", "0"}));
    EXPECT_FALSE(rows.read.fault);
    EXPECT_EQ(rows.write.rows.size(), 1u);
}

TEST(RegisterMapPosComp, ByteChoiceCountStaysWithinWhatAPackedChoiceHolds) {
    struct Case {
        std::int32_t nByte, count;
    };
    for (const Case c : {Case{0, 0}, Case{4, 4}, Case{455, 455}, Case{65535, 65535},
                         Case{65536, 65535}, Case{2147483647, 65535}, Case{-3, 0}}) {
        EXPECT_EQ(byteChoiceCount(c.nByte), c.count) << c.nByte;
    }
}

TEST(RegisterMapPosComp, TextOfAnEntryGivesItsChoicesOrFails) {
    struct Case {
        const char* text;
        PosCompChoices choices;
    };
    for (const Case c : {Case{"196612", {3, 4}}, Case{" +1", {0, 1}}, Case{"0x20000", {2, 0}},
                         Case{"-1", {65535, 65535}}, Case{"393216", {6, 0}}}) {
        EXPECT_EQ(posCompTextChoices(c.text), c.choices) << c.text;
    }
    // A text edited by hand is quoted no longer than a message box can show.
    const std::string forty(40, '7');
    const std::pair<std::string, std::string> failures[] = {
        {"", R"(PosComp "" is not an integer)"},
        {"abc", R"(PosComp "abc" is not an integer)"},
        {"1.5", R"(PosComp "1.5" is not an integer)"},
        {"4294967296", R"(PosComp "4294967296" is not an integer)"},
        {forty + "x" + std::string(100000, '7'), "PosComp \"" + forty + "\" is not an integer"},
    };
    for (const auto& [text, message] : failures) {
        EXPECT_THROW(
            {
                try {
                    posCompTextChoices(text);
                } catch (const Error& e) {
                    EXPECT_EQ(std::string(e.what()), message);
                    throw;
                }
            },
            Error)
            << text.size();
    }
}

TEST(RegisterMapPosComp, TextOfTwoChoicesIsTheSignedDecimalOrNothingOutsideAChoice) {
    struct Case {
        std::int32_t high, low;
        std::optional<std::string> text;
    };
    for (const Case& c :
         {Case{3, 4, "196612"}, Case{0, 0, "0"}, Case{2, 0, "131072"}, Case{65535, 65535, "-1"},
          Case{32768, 1, "-2147483647"}, Case{-1, 0, std::nullopt}, Case{0, -1, std::nullopt},
          Case{65536, 0, std::nullopt}, Case{0, 65536, std::nullopt}}) {
        EXPECT_EQ(posCompText(c.high, c.low), c.text) << c.high << " " << c.low;
        // What is written reads back to the same choices.
        if (c.text) {
            EXPECT_EQ(posCompTextChoices(*c.text), (PosCompChoices{c.high, c.low}));
        }
    }
}

}  // namespace
}  // namespace velmora
