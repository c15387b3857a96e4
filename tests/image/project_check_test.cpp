#include "image/project_check.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "core/error.h"
#include "image/example_project.h"
#include "support/temp_dir.h"

#ifndef _WIN32
#include <sys/stat.h>
#endif

namespace velmora {

void PrintTo(const ProjectProblem& p, std::ostream* os) {
    *os << (p.severity == Severity::Error ? "error" : "warning") << ": " << p.document << ", "
        << p.place << ": " << p.message;
}

namespace {

namespace fs = std::filesystem;

// One node (ID 5, 2 bytes each way) whose four bytes are each carried once.
constexpr std::string_view kNodes =
    R"(<DNET_Net><row ID="5" NB_IN="2" NB_OUT="2" Mnemonic="Drive"/></DNET_Net>)";
constexpr std::string_view kMap =
    R"(<InfoMod><Modbus_Read><row Index="0" NrDNNode="1" PosComp="65538"/></Modbus_Read>)"
    R"(<Modbus_Write><row Index="0" NrDNNode="1" PosComp="65538"/></Modbus_Write></InfoMod>)";
constexpr std::string_view kSettings = test::kExampleSettings;  // gateway DeviceNet ID 20
constexpr std::string_view kMissing = "";

std::string readRows(std::string_view rows) {
    return "<InfoMod><Modbus_Read>" + std::string(rows) +
           R"(</Modbus_Read><Modbus_Write><row Index="0" NrDNNode="1" PosComp="65538"/>)"
           "</Modbus_Write></InfoMod>";
}

std::string settingsWithIds(std::string_view dnetId, std::string_view serialId) {
    return "<Par_Gen><DNET_DEV_ID>" + std::string(dnetId) +
           "</DNET_DEV_ID><DNET_BAUD>2</DNET_BAUD><Ser_Baud>7</Ser_Baud><Ser_Par>0</Ser_Par>"
           "<Ser_ID>" +
           std::string(serialId) +
           "</Ser_ID><Ser_Type>1</Ser_Type><Ser_Prot>0</Ser_Prot><HW_Type>0</HW_Type></Par_Gen>";
}

std::string nodeRows(int count, std::string_view bytes) {
    std::string xml = "<DNET_Net>";
    for (int i = 1; i <= count; ++i) {
        xml += R"(<row ID=")" + std::to_string(i) + R"(" NB_IN=")" + std::string(bytes) +
               R"(" NB_OUT="0" Mnemonic=""/>)";
    }
    return xml + "</DNET_Net>";
}

ProjectProblem error(std::string document, std::string place, std::string message) {
    return {Severity::Error, std::move(document), std::move(place), std::move(message), {}, {}, {}};
}
ProjectProblem warning(std::string document, std::string place, std::string message) {
    return {
        Severity::Warning, std::move(document), std::move(place), std::move(message), {}, {}, {}};
}

// The problems of `dir` as the tables above state them: severity, document, place, message.
std::vector<ProjectProblem> told(const fs::path& dir) {
    std::vector<ProjectProblem> problems = checkProject(dir);
    for (ProjectProblem& p : problems) {
        p.code.clear();
        p.list.clear();
        p.row.reset();
    }
    return problems;
}

struct Case {
    const char* name;
    std::string nodes;
    std::string map;
    std::string settings;
    std::vector<ProjectProblem> expected;
};

TEST(ProjectCheck, FindsEachProblemWhereItStands) {
    const std::string nodes(kNodes);
    const std::string map(kMap);
    const std::string settings(kSettings);
    const std::string none(kMissing);
    const Case cases[] = {
        {"clean project", nodes, map, settings, {}},
        {"no pargen.xml",
         nodes,
         map,
         none,
         {warning("pargen.xml", "", "the document is missing: the image has no parameter block")}},
        {"no DNET_Net.xml",
         none,
         map,
         settings,
         {warning("DNET_Net.xml", "",
                  "the document is missing: the image has no nodes and every register row is "
                  "dropped"),
          warning(
              "DefReg.xml", "Modbus_Read row 1",
              "node 1 is beyond the 0 nodes of DNET_Net.xml: the row is dropped from the image"),
          warning("DefReg.xml", "Modbus_Write row 1",
                  "node 1 is beyond the 0 nodes of DNET_Net.xml: the row is dropped from the "
                  "image")}},
        {"no DefReg.xml",
         nodes,
         none,
         settings,
         {warning("DefReg.xml", "", "the document is missing: the image has no registers")}},
        {"both IDs of the settings out of range",
         nodes,
         map,
         settingsWithIds("64", "0"),
         {error("pargen.xml", "DNET_DEV_ID", "DNET_DEV_ID 64 is outside 0 to 63"),
          error("pargen.xml", "Ser_ID", "Ser_ID 0 is outside 1 to 247")}},
        {"IDs of the settings that are no integers: told once each",
         nodes,
         map,
         settingsWithIds("x", ""),
         {error("pargen.xml", "DNET_DEV_ID", "element \"DNET_DEV_ID\" is not an integer: \"x\""),
          error("pargen.xml", "Ser_ID", "element \"Ser_ID\" is not an integer: \"\"")}},
        {"every list position outside its list",
         nodes,
         map,
         "<Par_Gen><DNET_DEV_ID>20</DNET_DEV_ID><DNET_BAUD>-1</DNET_BAUD><Ser_Baud>8</Ser_Baud>"
         "<Ser_Par>3</Ser_Par><Ser_ID>1</Ser_ID><Ser_Type>2</Ser_Type><Ser_Prot>7</Ser_Prot>"
         "<HW_Type>2</HW_Type></Par_Gen>",
         {error("pargen.xml", "DNET_BAUD",
                "DNET_BAUD -1 is not in the list of DeviceNet baud rates (0 = 125K, 1 = 250K, "
                "2 = 500K)"),
          error("pargen.xml", "Ser_Baud",
                "Ser_Baud 8 is not in the list of serial baud rates (0 = 1200, 1 = 2400, "
                "2 = 4800, 3 = 9600, 4 = 19200, 5 = 38400, 6 = 57600, 7 = 115200)"),
          error("pargen.xml", "Ser_Par",
                "Ser_Par 3 is not in the list of parities (0 = NONE, 1 = EVEN, 2 = ODD)"),
          error("pargen.xml", "Ser_Type",
                "Ser_Type 2 is not in the list of line types (0 = RS232, 1 = RS485)"),
          error("pargen.xml", "Ser_Prot",
                "Ser_Prot 7 is not in the list of protocols (0 = Modbus RTU, 1 = Modbus ASCII, "
                "2 = JBUS, 3 = Binary, 4 = ASCII)"),
          error("pargen.xml", "HW_Type",
                "HW_Type 2 is not in the list of hardware variants (0 = QH48203-A1, "
                "1 = QH48203-B2)")}},
        {"list positions as the composer reads them: hexadecimal and leading zeros",
         nodes,
         map,
         "<Par_Gen><DNET_DEV_ID>20</DNET_DEV_ID><DNET_BAUD>$2</DNET_BAUD><Ser_Baud>07</Ser_Baud>"
         "<Ser_Par>0x1</Ser_Par><Ser_ID>1</Ser_ID><Ser_Type> 1</Ser_Type><Ser_Prot>4</Ser_Prot>"
         "<HW_Type>0x100</HW_Type></Par_Gen>",
         {error("pargen.xml", "HW_Type",
                "HW_Type 256 is not in the list of hardware variants (0 = QH48203-A1, "
                "1 = QH48203-B2)")}},
        {"a hardware variant that the dialog reads as text and the device as a number",
         nodes,
         map,
         "<Par_Gen><DNET_DEV_ID>20</DNET_DEV_ID><DNET_BAUD>2</DNET_BAUD><Ser_Baud>7</Ser_Baud>"
         "<Ser_Par>0</Ser_Par><Ser_ID>1</Ser_ID><Ser_Type>1</Ser_Type><Ser_Prot>0</Ser_Prot>"
         "<HW_Type>01</HW_Type></Par_Gen>",
         {warning("pargen.xml", "HW_Type",
                  "HW_Type \"01\" reads as QH48203-A1 in the dialog, but the device gets "
                  "QH48203-B2 (1)")}},
        {"a hardware variant that both read alike though not plainly written",
         nodes,
         map,
         "<Par_Gen><DNET_DEV_ID>20</DNET_DEV_ID><DNET_BAUD>2</DNET_BAUD><Ser_Baud>7</Ser_Baud>"
         "<Ser_Par>0</Ser_Par><Ser_ID>1</Ser_ID><Ser_Type>1</Ser_Type><Ser_Prot>0</Ser_Prot>"
         "<HW_Type>00</HW_Type></Par_Gen>",
         {}},
        {"none of the three documents: not a project folder",
         none,
         none,
         none,
         {error("", "", "not a project folder: none of pargen.xml, DNET_Net.xml, DefReg.xml")}},
        {"more rows than the network has nodes",
         nodeRows(65, "0"),
         none,
         settings,
         {error("DNET_Net.xml", "",
                "the document holds 65 rows; the network has at most 64 nodes (the dialog shows "
                "the first 64, the image would carry them all)"),
          warning("DNET_Net.xml", "row 20",
                  "ID 20 is the gateway's own DeviceNet ID (DNET_DEV_ID in pargen.xml)"),
          error("DNET_Net.xml", "row 64", "ID 64 is outside 0 to 63"),
          warning("DefReg.xml", "", "the document is missing: the image has no registers")}},
        {"a settings element missing",
         nodes,
         map,
         "<Par_Gen><DNET_DEV_ID>20</DNET_DEV_ID></Par_Gen>",
         {error("pargen.xml", "DNET_BAUD", "element \"DNET_BAUD\" is missing"),
          error("pargen.xml", "Ser_Baud", "element \"Ser_Baud\" is missing"),
          error("pargen.xml", "Ser_Par", "element \"Ser_Par\" is missing"),
          error("pargen.xml", "Ser_ID", "element \"Ser_ID\" is missing"),
          error("pargen.xml", "Ser_Type", "element \"Ser_Type\" is missing"),
          error("pargen.xml", "Ser_Prot", "element \"Ser_Prot\" is missing")}},
        {"planted mistakes in two documents, all told in one run, one each",
         R"(<DNET_Net><row ID="5" NB_OUT="4" Mnemonic=""/>)"
         R"(<row ID="6" NB_IN="2" NB_OUT="x" Mnemonic=""/>)"
         R"(<row ID="7" NB_IN="2" NB_OUT="2"/><row ID="70" NB_IN="1" NB_OUT="1" Mnemonic=""/>)"
         R"(</DNET_Net>)",
         none,
         "<Par_Gen><DNET_DEV_ID>20</DNET_DEV_ID><DNET_BAUD>2</DNET_BAUD><Ser_Baud>7</Ser_Baud>"
         "<Ser_Par>0</Ser_Par><Ser_ID>1</Ser_ID><Ser_Type>1</Ser_Type><HW_Type>0</HW_Type>"
         "</Par_Gen>",
         {error("pargen.xml", "Ser_Prot", "element \"Ser_Prot\" is missing"),
          error("DNET_Net.xml", "row 1", "attribute \"NB_IN\" is missing"),
          error("DNET_Net.xml", "row 2", "attribute \"NB_OUT\" is not an integer: \"x\""),
          error("DNET_Net.xml", "row 3", "attribute \"Mnemonic\" is missing"),
          error("DNET_Net.xml", "row 4", "ID 70 is outside 0 to 63"),
          warning("DefReg.xml", "", "the document is missing: the image has no registers")}},
        {"a missing attribute and a bad value in one row: both told",
         R"(<DNET_Net><row ID="70" NB_OUT="600" Mnemonic=""/></DNET_Net>)",
         map,
         settings,
         {error("DNET_Net.xml", "row 1", "attribute \"NB_IN\" is missing"),
          error("DNET_Net.xml", "row 1", "ID 70 is outside 0 to 63"),
          error("DNET_Net.xml", "row 1", "NB_OUT 600 is outside 0 to 455")}},
        {"a DeviceNet ID out of range",
         R"(<DNET_Net><row ID="64" NB_IN="2" NB_OUT="2" Mnemonic=""/></DNET_Net>)",
         map,
         settings,
         {error("DNET_Net.xml", "row 1", "ID 64 is outside 0 to 63")}},
        {"the input sum over 6000",
         nodeRows(14, "455"),
         none,
         settings,
         {error("DNET_Net.xml", "",
                "the input bytes of all nodes add up to 6,370; at most 6,000 fit"),
          warning("DefReg.xml", "", "the document is missing: the image has no registers")}},
        {"two nodes with one ID",
         R"(<DNET_Net><row ID="5" NB_IN="2" NB_OUT="2" Mnemonic=""/><row ID="0x5" NB_IN="0" NB_OUT="0" Mnemonic=""/></DNET_Net>)",
         map,
         settings,
         {warning("DNET_Net.xml", "row 2", "ID 5 is also the ID of row 1")}},
        {"a node with the gateway's ID",
         R"(<DNET_Net><row ID="20" NB_IN="2" NB_OUT="2" Mnemonic=""/></DNET_Net>)",
         map,
         settings,
         {warning("DNET_Net.xml", "row 1",
                  "ID 20 is the gateway's own DeviceNet ID (DNET_DEV_ID in pargen.xml)")}},
        {"an index past 65535",
         nodes,
         readRows(R"(<row Index="70000" NrDNNode="1" PosComp="65538"/>)"),
         settings,
         {error("DefReg.xml", "Modbus_Read row 1", "Index 70000 is outside 0 to 65535")}},
        {"an index that is no integer",
         nodes,
         readRows(R"(<row Index="abc" NrDNNode="1" PosComp="65538"/>)"),
         settings,
         {error("DefReg.xml", "Modbus_Read row 1",
                "attribute \"Index\" is not an integer: \"abc\"")}},
        {"every fault of one row",
         nodes,
         readRows(R"(<row Index="abc" NrDNNode="1"/>)"),
         settings,
         {error("DefReg.xml", "Modbus_Read row 1",
                "attribute \"Index\" is not an integer: \"abc\""),
          error("DefReg.xml", "Modbus_Read row 1", "attribute \"PosComp\" is missing"),
          warning("DefReg.xml", "Modbus_Read node 1",
                  "no register carries bytes 1-2 of node 1 (ID 5)")}},
        {"one index twice in a map",
         nodes,
         readRows(
             R"(<row Index="7" NrDNNode="1" PosComp="1"/><row Index="0x7" NrDNNode="1" PosComp="2"/>)"),
         settings,
         {error("DefReg.xml", "Modbus_Read row 2", "index 7 is also the index of row 1")}},
        {"node position 0",
         nodes,
         readRows(R"(<row Index="0" NrDNNode="0" PosComp="65538"/>)"),
         settings,
         {error("DefReg.xml", "Modbus_Read row 1",
                "attribute \"NrDNNode\" is 0, but node positions start at 1"),
          warning("DefReg.xml", "Modbus_Read node 1",
                  "no register carries bytes 1-2 of node 1 (ID 5)")}},
        {"no Modbus_Write",
         nodes,
         "<InfoMod><Modbus_Read/></InfoMod>",
         settings,
         {error("DefReg.xml", "", "element \"Modbus_Write\" is missing under the root"),
          warning("DefReg.xml", "Modbus_Read node 1",
                  "no register carries bytes 1-2 of node 1 (ID 5)")}},
        {"a row on a node past the list",
         nodes,
         readRows(
             R"(<row Index="0" NrDNNode="1" PosComp="65538"/><row Index="1" NrDNNode="2" PosComp="1"/>)"),
         settings,
         {warning(
             "DefReg.xml", "Modbus_Read row 2",
             "node 2 is beyond the 1 node of DNET_Net.xml: the row is dropped from the image")}},
        {"a byte past the node's bytes",
         nodes,
         readRows(R"(<row Index="0" NrDNNode="1" PosComp="65539"/>)"),
         settings,
         {warning("DefReg.xml", "Modbus_Read row 1",
                  "the low byte is byte 3, beyond the 2 output bytes of node 1 (NB_OUT)"),
          warning("DefReg.xml", "Modbus_Read node 1",
                  "no register carries byte 2 of node 1 (ID 5)")}},
        {"both bytes None",
         nodes,
         readRows(R"(<row Index="0" NrDNNode="1" PosComp="0"/>)"),
         settings,
         {warning("DefReg.xml", "Modbus_Read row 1",
                  "both bytes are \"None\": the register carries no byte"),
          warning("DefReg.xml", "Modbus_Read node 1",
                  "no register carries bytes 1-2 of node 1 (ID 5)")}},
        {"one byte carried by two registers",
         nodes,
         readRows(
             R"(<row Index="0" NrDNNode="1" PosComp="65538"/><row Index="1" NrDNNode="1" PosComp="65537"/>)"),
         settings,
         {warning("DefReg.xml", "Modbus_Read row 2", "byte 1 of node 1 is also carried by row 1")}},
        // The free bytes are found from the carried ones: 2^31 - 1 bytes are never walked.
        {"a negative byte count: its error alone, no byte beyond it",
         R"(<DNET_Net><row ID="5" NB_IN="2" NB_OUT="-1" Mnemonic=""/></DNET_Net>)",
         readRows(R"(<row Index="0" NrDNNode="1" PosComp="65538"/>)"),
         settings,
         {error("DNET_Net.xml", "row 1", "NB_OUT -1 is outside 0 to 455")}},
        {"the largest byte count a document can hold: its error alone, no gaps after it",
         R"(<DNET_Net><row ID="5" NB_IN="2" NB_OUT="$7FFFFFFF" Mnemonic=""/></DNET_Net>)",
         readRows(R"(<row Index="0" NrDNNode="1" PosComp="131076"/>)"),
         settings,
         {error("DNET_Net.xml", "row 1", "NB_OUT 2147483647 is outside 0 to 455")}},
        {"a write byte carried by no register",
         nodes,
         R"(<InfoMod><Modbus_Read><row Index="0" NrDNNode="1" PosComp="65538"/></Modbus_Read><Modbus_Write><row Index="0" NrDNNode="1" PosComp="131072"/></Modbus_Write></InfoMod>)",
         settings,
         {warning("DefReg.xml", "Modbus_Write node 1",
                  "no register carries byte 1 of node 1 (ID 5)")}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        test::TempDir dir;
        test::writeProject(dir.path(), c.nodes, c.map, c.settings);
        EXPECT_EQ(told(dir.path()), c.expected);
    }
}

// A broken document is told once, on one line, naming the document, though both the composer and
// the document's reader meet it.
TEST(ProjectCheck, ADocumentThatDoesNotParseIsToldOnce) {
    test::TempDir dir;
    test::writeProject(dir.path(), kNodes, kMap, "<Par_Gen><DNET_DEV_ID>");
    const std::vector<ProjectProblem> problems = checkProject(dir.path());
    ASSERT_EQ(problems.size(), 1u);
    EXPECT_EQ(problems[0].severity, Severity::Error);
    EXPECT_EQ(problems[0].document, "pargen.xml");
    EXPECT_EQ(problems[0].message.find('\n'), std::string::npos) << problems[0].message;
    EXPECT_NE(problems[0].message.find("; Line: 1; "), std::string::npos) << problems[0].message;
}

// No image composes without the DeviceNet list, and nothing is known of the nodes the register
// rows name: the rows' own values are checked, nothing is said of their nodes.
TEST(ProjectCheck, AnUnreadableDeviceNetListBringsNoWarningsAboutNodes) {
    test::TempDir dir;
    test::writeProject(dir.path(), "<DNET_Net><row ID=\"5\"",
                       readRows(R"(<row Index="0" NrDNNode="1" PosComp="65538"/>)"
                                R"(<row Index="x" NrDNNode="2" PosComp="9"/>)"
                                R"(<row Index="3" NrDNNode="2" PosComp="0"/>)"),
                       kSettings);
    std::vector<ProjectProblem> problems = told(dir.path());
    ASSERT_FALSE(problems.empty());
    EXPECT_EQ(problems[0].document, "DNET_Net.xml");
    EXPECT_EQ(problems[0].severity, Severity::Error);
    problems.erase(problems.begin());
    EXPECT_EQ(problems, (std::vector<ProjectProblem>{
                            error("DefReg.xml", "Modbus_Read row 2",
                                  "attribute \"Index\" is not an integer: \"x\""),
                            warning("DefReg.xml", "Modbus_Read row 3",
                                    "both bytes are \"None\": the register carries no byte")}));
}

// The composer's capacity refusal is an error on the row that passed it.
TEST(ProjectCheck, TheCapacityIsAnErrorOnTheRowThatPassesIt) {
    test::TempDir dir;
    std::string rows;
    for (int i = 0; i < 14285; ++i) {
        rows += R"(<row Index=")" + std::to_string(i) + R"(" NrDNNode="1" PosComp="65538"/>)";
    }
    test::writeProject(dir.path(), kNodes, readRows(rows), kSettings);
    const std::vector<ProjectProblem> problems = told(dir.path());
    EXPECT_EQ(countProblems(problems, Severity::Error), 1u);
    EXPECT_NE(std::find(problems.begin(), problems.end(),
                        error("DefReg.xml", "Modbus_Read row 14281",
                              "the configuration image would exceed 100004 bytes")),
              problems.end());
}

// A large document may name a missing node a million times: the same problem on rows of one node
// is told once, at its first row, with the count of the others; other nodes and other problems
// stand apart.
TEST(ProjectCheck, RepeatedProblemsOfOneNodeAreToldOnce) {
    test::TempDir dir;
    std::string rows = R"(<row Index="0" NrDNNode="1" PosComp="65538"/>)";
    for (int i = 1; i <= 1001; ++i) {
        rows += R"(<row Index=")" + std::to_string(i) + R"(" NrDNNode="9" PosComp="1"/>)";
    }
    rows += R"(<row Index="2000" NrDNNode="7" PosComp="1"/>)"   // row 1003
            R"(<row Index="2001" NrDNNode="1" PosComp="3"/>)"   // row 1004
            R"(<row Index="2002" NrDNNode="1" PosComp="3"/>)"   // row 1005
            R"(<row Index="2003" NrDNNode="1" PosComp="4"/>)";  // row 1006
    test::writeProject(dir.path(), kNodes, readRows(rows), kSettings);
    const auto onRow = [](const char* code, std::size_t row, std::size_t more, std::string place,
                          std::string message) {
        return ProjectProblem{Severity::Warning,
                              "DefReg.xml",
                              std::move(place),
                              std::move(message),
                              code,
                              "Modbus_Read",
                              row,
                              more};
    };
    EXPECT_EQ(
        checkProject(dir.path()),
        (std::vector<ProjectProblem>{
            onRow("node-beyond-network", 2, 1000, "Modbus_Read row 2 and 1,000 more rows",
                  "node 9 is beyond the 1 node of DNET_Net.xml: the rows are dropped from the "
                  "image"),
            onRow("node-beyond-network", 1003, 0, "Modbus_Read row 1003",
                  "node 7 is beyond the 1 node of DNET_Net.xml: the row is dropped from the image"),
            onRow("byte-beyond-node", 1004, 1, "Modbus_Read row 1004 and 1 more row",
                  "the low byte is byte 3, beyond the 2 output bytes of node 1 (NB_OUT)"),
            onRow("byte-beyond-node", 1006, 0, "Modbus_Read row 1006",
                  "the low byte is byte 4, beyond the 2 output bytes of node 1 (NB_OUT)")}));
}

// A list that is missing is a problem of that list.
TEST(ProjectCheck, AMissingListIsNamed) {
    test::TempDir dir;
    test::writeProject(dir.path(), kNodes, "<InfoMod><Modbus_Read/></InfoMod>", kSettings);
    const std::vector<ProjectProblem> problems = checkProject(dir.path());
    ASSERT_FALSE(problems.empty());
    EXPECT_EQ(problems[0].code, "list-missing");
    EXPECT_EQ(problems[0].list, "Modbus_Write");
}

// What the composer takes for no document is named for what it is.
TEST(ProjectCheck, WhatStandsInPlaceOfADocumentIsNamed) {
    struct Case {
        const char* name;
        std::function<void(const fs::path&)> make;
        std::string message;
    };
    const std::string consequence = ": the image has no parameter block";
    std::vector<Case> cases = {
        {"a folder", [](const fs::path& p) { fs::create_directory(p); },
         "the document is a folder, not a file" + consequence},
    };
#ifndef _WIN32
    cases.push_back({"a named pipe",
                     [](const fs::path& p) { ASSERT_EQ(::mkfifo(p.c_str(), 0644), 0); },
                     "the document is a named pipe, not a file" + consequence});
    cases.push_back({"a link to nothing",
                     [](const fs::path& p) { fs::create_symlink("gone.xml", p); },
                     "the document is a link to \"gone.xml\", which does not exist" + consequence});
    cases.push_back({"a link to a folder",
                     [](const fs::path& p) {
                         fs::create_directory(p.parent_path() / "folder");
                         fs::create_directory_symlink("folder", p);
                     },
                     "the document is a folder, not a file (a link to \"folder\")" + consequence});
#endif
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        test::TempDir dir;
        test::writeProject(dir.path(), kNodes, kMap, kMissing);
        c.make(dir / "pargen.xml");
        EXPECT_EQ(told(dir.path()),
                  std::vector<ProjectProblem>{warning("pargen.xml", "", c.message)});
    }
}

TEST(ProjectCheck, RefusesWhatIsNoFolder) {
    test::TempDir dir;
    EXPECT_THROW(checkProject(dir / "nowhere"), Error);
}

}  // namespace
}  // namespace velmora
