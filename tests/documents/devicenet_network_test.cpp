#include "documents/devicenet_network.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "core/error.h"
#include "support/row_fault.h"
#include "support/temp_dir.h"

namespace velmora {
namespace {

using ::testing::ElementsAre;

DNetNetworkRead readText(std::string_view xml) {
    test::TempDir dir;
    test::writeText(dir / "DNET_Net.xml", xml);
    return readDNetNetworkFile(dir / "DNET_Net.xml");
}

using test::RowFault;
using test::rowFault;

// The number of node rows in the written document.
std::size_t rowsWritten(const std::vector<DNetRow>& rows) {
    XmlDocument document;
    document.loadFromString(dnetNetworkDocument(rows));
    return document.firstNode()->childCount();
}

std::vector<DNetRow> repeated(std::size_t count, const DNetRow& row) {
    return std::vector<DNetRow>(count, row);
}

// ---- reading

TEST(DNetNetworkReading, ReadsTheFourAttributesOfEveryRowUnchanged) {
    const DNetNetworkRead read = readText(
        "<DNET_Net><row ID=\" 5\" NB_IN=\"$1F\" NB_OUT=\"2\" Mnemonic=\"Drive &amp; pump\"/>"
        "<row ID=\"9\" NB_IN=\"8\" NB_OUT=\"6\" Mnemonic=\"\"/></DNET_Net>");
    EXPECT_FALSE(read.error);
    EXPECT_THAT(read.rows,
                ElementsAre(DNetRow{" 5", "$1F", "2", "Drive & pump"}, DNetRow{"9", "8", "6", ""}));
}

TEST(DNetNetworkReading, IndentedFileReadsLikeACompactOne) {
    const DNetNetworkRead read = readText(
        "<?xml version=\"1.0\"?>\n<DNET_Net>\n  <row ID=\"1\" NB_IN=\"2\" NB_OUT=\"3\" "
        "Mnemonic=\"m\"/>\n</DNET_Net>\n");
    EXPECT_FALSE(read.error);
    EXPECT_THAT(read.rows, ElementsAre(DNetRow{"1", "2", "3", "m"}));
}

TEST(DNetNetworkReading, RowsOfAnyElementNameAndAttributesInAnyOrderAreRead) {
    const DNetNetworkRead read = readText(
        "<Other><node Mnemonic=\"x\" NB_OUT=\"3\" NB_IN=\"2\" ID=\"1\" extra=\"y\"/>"
        "<row ID=\"4\" NB_IN=\"5\" NB_OUT=\"6\" Mnemonic=\"z\"/></Other>");
    EXPECT_FALSE(read.error);
    EXPECT_THAT(read.rows, ElementsAre(DNetRow{"1", "2", "3", "x"}, DNetRow{"4", "5", "6", "z"}));
}

TEST(DNetNetworkReading, EmptyRootGivesNoRows) {
    const DNetNetworkRead read = readText("<DNET_Net/>");
    EXPECT_FALSE(read.error);
    EXPECT_TRUE(read.rows.empty());
}

TEST(DNetNetworkReading, AtMostSixtyFourRowsAreKept) {
    std::string xml = "<DNET_Net>";
    for (int i = 0; i < 70; ++i) {
        xml +=
            "<row ID=\"" + std::to_string(i % 64) + "\" NB_IN=\"1\" NB_OUT=\"1\" Mnemonic=\"\"/>";
    }
    // A faulty 71st child is never reached.
    xml += "<row/></DNET_Net>";
    const DNetNetworkRead read = readText(xml);
    EXPECT_FALSE(read.error);
    ASSERT_EQ(read.rows.size(), 64u);
    EXPECT_EQ(read.rows.back()[kDNetId], "63");
}

TEST(DNetNetworkReading, MissingAttributeStopsReadingAndKeepsWhatWasRead) {
    const DNetNetworkRead read = readText(
        "<DNET_Net><row ID=\"1\" NB_IN=\"2\" NB_OUT=\"3\" Mnemonic=\"a\"/>"
        "<row ID=\"4\" NB_IN=\"5\" Mnemonic=\"b\"/>"
        "<row ID=\"7\" NB_IN=\"8\" NB_OUT=\"9\" Mnemonic=\"c\"/></DNET_Net>");
    ASSERT_TRUE(read.error);
    EXPECT_EQ(*read.error, "Row 2 of the DeviceNet network has no attribute \"NB_OUT\"");
    EXPECT_THAT(read.rows, ElementsAre(DNetRow{"1", "2", "3", "a"}, DNetRow{"4", "5", "", ""}));
}

TEST(DNetNetworkReading, ChildThatIsNotAnElementStopsReading) {
    const DNetNetworkRead read = readText(
        "<DNET_Net><row ID=\"1\" NB_IN=\"2\" NB_OUT=\"3\" Mnemonic=\"a\"/><!-- note -->"
        "<row ID=\"4\" NB_IN=\"5\" NB_OUT=\"6\" Mnemonic=\"b\"/></DNET_Net>");
    ASSERT_TRUE(read.error);
    EXPECT_EQ(*read.error, "Row 2 of the DeviceNet network is not an element");
    EXPECT_THAT(read.rows, ElementsAre(DNetRow{"1", "2", "3", "a"}));
}

TEST(DNetNetworkReading, FileThatDoesNotExistGivesNoRows) {
    test::TempDir dir;
    const DNetNetworkRead read = readDNetNetworkFile(dir / "DNET_Net.xml");
    EXPECT_FALSE(read.error);
    EXPECT_TRUE(read.rows.empty());
}

TEST(DNetNetworkReading, FileThatCannotBeParsedThrows) {
    test::TempDir dir;
    test::writeText(dir / "DNET_Net.xml", "<DNET_Net><row ID=\"1\"></DNET_Net>");
    EXPECT_THROW(readDNetNetworkFile(dir / "DNET_Net.xml"), Error);
}

// ---- the node list and its checks

TEST(DNetNetworkChecks, NodeListEndsAtTheFirstEmptyId) {
    std::vector<DNetRow> rows = repeated(5, {"1", "1", "1", ""});
    rows[3][kDNetId] = "";
    rows[4][kDNetBytesIn] = "not checked";
    rows[3][kDNetBytesIn] = "not checked either";
    EXPECT_EQ(dnetNodeCount(rows), 3u);
    EXPECT_EQ(checkDNetNetwork(rows), std::nullopt);
    EXPECT_EQ(dnetNetworkDocument(rows),
              "<DNET_Net><row ID=\"1\" NB_IN=\"1\" NB_OUT=\"1\" Mnemonic=\"\"/>"
              "<row ID=\"1\" NB_IN=\"1\" NB_OUT=\"1\" Mnemonic=\"\"/>"
              "<row ID=\"1\" NB_IN=\"1\" NB_OUT=\"1\" Mnemonic=\"\"/></DNET_Net>");
}

struct RowCase {
    DNetRow row;
    std::optional<std::string> message;
};

void PrintTo(const RowCase& c, std::ostream* os) {
    *os << "ID \"" << c.row[kDNetId] << "\" IN \"" << c.row[kDNetBytesIn] << "\" OUT \""
        << c.row[kDNetBytesOut] << "\"";
}

class DNetNetworkRowCheck : public ::testing::TestWithParam<RowCase> {};

TEST_P(DNetNetworkRowCheck, GivesTheMessageOfTheFirstFailingCell) {
    // The row under test is row 2, behind a valid row 1.
    const std::vector<DNetRow> rows = {{"1", "1", "1", "first"}, GetParam().row};
    EXPECT_EQ(checkDNetNetwork(rows), GetParam().message);
}

const std::string kIdMessage = "Error in row 2!! ID must be 0 or 63. ";
const std::string kInMessage = "Error in row 2!! Number Byte IN must be 0 or 455. ";
const std::string kOutMessage = "Error in row 2!! Number Byte OUT must be 0 or 455. ";

INSTANTIATE_TEST_SUITE_P(Cases, DNetNetworkRowCheck,
                         ::testing::Values(RowCase{{"0", "0", "0", ""}, std::nullopt},
                                           RowCase{{"1", "1", "1", "any text"}, std::nullopt},
                                           RowCase{{"62", "455", "455", ""}, std::nullopt},
                                           RowCase{{"63", "454", "1", ""}, std::nullopt},
                                           RowCase{{" 5", "+7", "$1C7", ""}, std::nullopt},
                                           RowCase{{"0x3F", "x10", "0X0", ""}, std::nullopt},
                                           RowCase{{"64", "1", "1", ""}, kIdMessage},
                                           RowCase{{"-1", "1", "1", ""}, kIdMessage},
                                           RowCase{{"   ", "1", "1", ""}, kIdMessage},
                                           RowCase{{"5 ", "1", "1", ""}, kIdMessage},
                                           RowCase{{"abc", "", "", ""}, kIdMessage},
                                           RowCase{{"5", "", "1", ""}, kInMessage},
                                           RowCase{{"5", "456", "1", ""}, kInMessage},
                                           RowCase{{"5", "-1", "456", ""}, kInMessage},
                                           RowCase{{"5", "1", "", ""}, kOutMessage},
                                           RowCase{{"5", "1", "456", ""}, kOutMessage},
                                           RowCase{{"5", "455", "$FFFFFFFF", ""}, kOutMessage}));

TEST(DNetNetworkChecks, AllSixtyFourRowsAreCheckedAndWritten) {
    std::vector<DNetRow> rows = repeated(64, {"1", "1", "1", "m"});
    rows[63][kDNetId] = "64";
    EXPECT_EQ(checkDNetNetwork(rows), "Error in row 64!! ID must be 0 or 63. ");
    rows[63][kDNetId] = "63";
    EXPECT_EQ(checkDNetNetwork(rows), std::nullopt);
    EXPECT_EQ(rowsWritten(rows), 64u);
}

TEST(DNetNetworkChecks, RowsAfterTheSixtyFourthAreNeitherCheckedNorWritten) {
    std::vector<DNetRow> rows = repeated(70, {"1", "1", "1", ""});
    rows[64][kDNetId] = "99";
    EXPECT_EQ(dnetNodeCount(rows), 64u);
    EXPECT_EQ(checkDNetNetwork(rows), std::nullopt);
    EXPECT_EQ(rowsWritten(rows), 64u);
}

TEST(DNetNetworkChecks, DuplicateIdsAreAccepted) {
    const std::vector<DNetRow> rows = {{"7", "1", "1", "a"}, {"7", "2", "2", "b"}};
    EXPECT_EQ(checkDNetNetwork(rows), std::nullopt);
    EXPECT_EQ(rowsWritten(rows), 2u);
}

struct SumCase {
    std::vector<DNetRow> rows;
    std::optional<std::string> message;
};

void PrintTo(const SumCase& c, std::ostream* os) {
    *os << c.rows.size() << " rows, the last IN \"" << c.rows.back()[kDNetBytesIn] << "\" OUT \""
        << c.rows.back()[kDNetBytesOut] << "\"";
}

class DNetNetworkSumCheck : public ::testing::TestWithParam<SumCase> {};

TEST_P(DNetNetworkSumCheck, ChecksTheInputSumBeforeTheOutputSum) {
    EXPECT_EQ(checkDNetNetwork(GetParam().rows), GetParam().message);
}

std::vector<DNetRow> withLast(std::vector<DNetRow> rows, const DNetRow& last) {
    rows.push_back(last);
    return rows;
}

const std::string kInSum = "Error!! Number of Byte IN must be under 6000. ";
const std::string kOutSum = "Error!! Number of Byte OUT must be under 6000. ";

INSTANTIATE_TEST_SUITE_P(
    Cases, DNetNetworkSumCheck,
    ::testing::Values(
        SumCase{repeated(14, {"1", "455", "0", ""}), kInSum},
        SumCase{withLast(repeated(13, {"1", "455", "0", ""}), {"2", "85", "0", ""}), std::nullopt},
        SumCase{withLast(repeated(13, {"1", "0", "455", ""}), {"2", "0", "85", ""}), std::nullopt},
        SumCase{withLast(repeated(13, {"1", "0", "455", ""}), {"2", "0", "86", ""}), kOutSum},
        SumCase{repeated(14, {"1", "455", "455", ""}), kInSum},
        // A row failing its own check is reported even though the sum would fail first.
        SumCase{withLast(repeated(14, {"1", "455", "455", ""}), {"1", "456", "0", ""}),
                "Error in row 15!! Number Byte IN must be 0 or 455. "}));

// Every failed check in the dialog's order, for a caller that lists them all.
TEST(DNetNetworkChecks, ListsEveryFailingCellThenTheSums) {
    std::vector<DNetRow> rows = repeated(16, {"1", "455", "455", ""});
    rows[1] = {"64", "x", "1", ""};
    rows[3] = {"1", "1", "456", ""};
    const std::vector<DNetProblem> problems = dnetNetworkProblems(rows);
    std::vector<std::pair<std::size_t, std::string>> got;
    for (const DNetProblem& p : problems) got.emplace_back(p.row, p.message);
    // Row 2's and row 4's failing counts stay out of the sums: 14 x 455 + 1 in, 14 x 455 + 1 out.
    EXPECT_THAT(
        got,
        ElementsAre(std::pair<std::size_t, std::string>{2, "Error in row 2!! ID must be 0 or 63. "},
                    std::pair<std::size_t, std::string>{
                        2, "Error in row 2!! Number Byte IN must be 0 or 455. "},
                    std::pair<std::size_t, std::string>{
                        4, "Error in row 4!! Number Byte OUT must be 0 or 455. "},
                    std::pair<std::size_t, std::string>{0, kInSum},
                    std::pair<std::size_t, std::string>{0, kOutSum}));
    EXPECT_EQ(checkDNetNetwork(rows), "Error in row 2!! ID must be 0 or 63. ");
}

// ---- writing

TEST(DNetNetworkWriting, WritesTheTwoNodeExampleExactly) {
    test::TempDir dir;
    writeDNetNetworkFile(dir / "DNET_Net.xml",
                         {{"5", "4", "2", "Drive"}, {"9", "8", "6", ""}, {"", "1", "1", "gone"}});
    EXPECT_EQ(test::readText(dir / "DNET_Net.xml"),
              "<DNET_Net><row ID=\"5\" NB_IN=\"4\" NB_OUT=\"2\" Mnemonic=\"Drive\"/>"
              "<row ID=\"9\" NB_IN=\"8\" NB_OUT=\"6\" Mnemonic=\"\"/></DNET_Net>");
}

TEST(DNetNetworkWriting, EmptyFirstIdWritesAnEmptyRoot) {
    EXPECT_EQ(dnetNetworkDocument({{"", "1", "1", "x"}, {"5", "1", "1", ""}}), "<DNET_Net/>");
    EXPECT_EQ(dnetNetworkDocument({}), "<DNET_Net/>");
}

TEST(DNetNetworkWriting, ValuesAreWrittenAsTypedAndReadBackUnchanged) {
    test::TempDir dir;
    const std::vector<DNetRow> rows = {{" +5", "$1c7", "0x0", "A&B \"q\" <\xC3\xA9>\t'\r\n"}};
    writeDNetNetworkFile(dir / "DNET_Net.xml", rows);
    const DNetNetworkRead read = readDNetNetworkFile(dir / "DNET_Net.xml");
    EXPECT_FALSE(read.error);
    EXPECT_EQ(read.rows, rows);
}

TEST(DNetNetworkWriting, ACharacterXmlCannotCarryIsRefusedInsteadOfWrittenUnreadable) {
    for (const std::string mnemonic : {"a\x01z", "\x1F", "\xEF\xBF\xBE", "x\xEF\xBF\xBF"}) {
        try {
            dnetNetworkDocument({{"1", "1", "1", "ok"}, {"2", "1", "1", mnemonic}});
            ADD_FAILURE() << "no error for " << mnemonic;
        } catch (const Error& e) {
            EXPECT_STREQ(e.what(),
                         "Row 2 of the DeviceNet network cannot be stored: its \"Mnemonic\" "
                         "value holds a character that XML does not allow");
        }
    }
    EXPECT_NO_THROW(dnetNetworkDocument({{"1", "1", "1", "\x7F\xEF\xBF\xBD\xEF\xBB\xBF"}}));
}

TEST(DNetNetworkWriting, SaveIntoAMissingFolderThrows) {
    test::TempDir dir;
    EXPECT_THROW(writeDNetNetworkFile(dir / "gone" / "DNET_Net.xml", {{"1", "1", "1", ""}}), Error);
}

// ---- the node rows that the register map and the composer read

struct NodeRowsCase {
    const char* label;
    const char* document;
    std::vector<DNetNodeRow> rows;
    std::optional<RowFault> fault;
};

void PrintTo(const NodeRowsCase& c, std::ostream* os) { *os << c.label; }

class DNetNodeRowReading : public ::testing::TestWithParam<NodeRowsCase> {};

TEST_P(DNetNodeRowReading, ReadsRowsUpToTheFirstFailingChild) {
    test::TempDir dir;
    test::writeText(dir / "DNET_Net.xml", GetParam().document);
    const DNetNodeRows read = readDNetNodeRows(dir / "DNET_Net.xml");
    EXPECT_EQ(read.rows, GetParam().rows);
    EXPECT_EQ(rowFault(read.fault), GetParam().fault);
}

const DNetNodeRow kNodeOne{1, 2, 3, "1", "2", "3"};

INSTANTIATE_TEST_SUITE_P(
    Cases, DNetNodeRowReading,
    ::testing::Values(
        NodeRowsCase{
            "AnyNamesTextsKept",
            R"(<Net><n ID=" 0x9" NB_IN="$10" NB_OUT="+6" Mnemonic="m"/><row NB_OUT="3" NB_IN="2" ID="1"/></Net>)",
            {DNetNodeRow{9, 16, 6, " 0x9", "$10", "+6"}, kNodeOne},
            std::nullopt},
        NodeRowsCase{"IdMissingFirst",
                     R"(<Net><row NB_OUT="x"/></Net>)",
                     {},
                     RowFault{1, R"(attribute "ID" is missing)"}},
        NodeRowsCase{"IdNotAnInteger",
                     R"(<Net><row ID="5 "/></Net>)",
                     {},
                     RowFault{1, R"(attribute "ID" is not an integer: "5 ")"}},
        NodeRowsCase{"InputsBeforeOutputs",
                     R"(<Net><row ID="1" NB_OUT="x"/></Net>)",
                     {},
                     RowFault{1, R"(attribute "NB_IN" is missing)"}},
        NodeRowsCase{"OutputsLast",
                     R"(<Net><row ID="1" NB_IN="2" NB_OUT="3"/><row ID="1" NB_IN="2"/></Net>)",
                     {kNodeOne},
                     RowFault{2, R"(attribute "NB_OUT" is missing)"}},
        NodeRowsCase{"NotAnElement",
                     R"(<Net><row ID="1" NB_IN="2" NB_OUT="3"/><?pi?><row ID="1"/></Net>)",
                     {kNodeOne},
                     RowFault{2, R"(node "pi" is not an element)"}},
        NodeRowsCase{"NestedElementsAreNotRows",
                     R"(<Net><row ID="1" NB_IN="2" NB_OUT="3"><x/></row></Net>)",
                     {kNodeOne},
                     std::nullopt}),
    [](const auto& info) { return std::string(info.param.label); });

TEST(DNetNodeRowReading, AMalformedDocumentFailsWithTheParserReasonDespiteAnEarlierBadRow) {
    test::TempDir dir;
    test::writeText(dir / "DNET_Net.xml", "<Net><row/>\n<row ID=\"1\" ID=\"2\"/></Net>");
    try {
        readDNetNodeRows(dir / "DNET_Net.xml");
        ADD_FAILURE() << "no error";
    } catch (const Error& e) {
        EXPECT_EQ(std::string(e.what()), "Attribute ID redefined\nLine: 2\n/></Net>");
    }
}

TEST(DNetNodeRowReading, KeepsAtMostTheLimit) {
    test::TempDir dir;
    test::writeText(
        dir / "DNET_Net.xml",
        R"(<Net><row ID="1" NB_IN="2" NB_OUT="3"/><row ID="1" NB_IN="2" NB_OUT="3"/><bad/></Net>)");
    const DNetNodeRows read = readDNetNodeRows(dir / "DNET_Net.xml", 2);
    EXPECT_EQ(read.rows.size(), 2u);
    EXPECT_FALSE(read.fault);
}

}  // namespace
}  // namespace velmora
