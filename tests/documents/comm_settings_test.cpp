#include "documents/comm_settings.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <string>

#include "core/error.h"
#include "documents/xml_document.h"
#include "support/temp_dir.h"

namespace fs = std::filesystem;

namespace velmora {
namespace {

using test::readText;
using test::TempDir;
using test::writeText;
using ::testing::HasSubstr;

constexpr const char* kDefaultDocument =
    "<Par_Gen><DNET_DEV_ID>10</DNET_DEV_ID><DNET_BAUD>2</DNET_BAUD><Ser_Baud>7</Ser_Baud>"
    "<Ser_Par>0</Ser_Par><Ser_ID>1</Ser_ID><Ser_Type>1</Ser_Type><Ser_Prot>0</Ser_Prot>"
    "<HW_Type>0</HW_Type></Par_Gen>";

constexpr const char* kDnetIdMessage = "Error!! The DeviceNet Device ID must be between 0 and 63. ";
constexpr const char* kSerialIdMessage = "Error!! The Serial ID must be between 1 and 247. ";

CommSettings fromText(const std::string& content) {
    XmlDocument document;
    document.loadFromString(content);
    return commSettingsFromDocument(document);
}

// A whole document holding every value of a non-default settings, with one element replaced.
std::string documentWith(const std::string& name, const std::string& element) {
    const std::pair<const char*, const char*> values[] = {
        {"DNET_DEV_ID", "<DNET_DEV_ID>20</DNET_DEV_ID>"},
        {"DNET_BAUD", "<DNET_BAUD>0</DNET_BAUD>"},
        {"Ser_Baud", "<Ser_Baud>3</Ser_Baud>"},
        {"Ser_Par", "<Ser_Par>2</Ser_Par>"},
        {"Ser_ID", "<Ser_ID>17</Ser_ID>"},
        {"Ser_Type", "<Ser_Type>0</Ser_Type>"},
        {"Ser_Prot", "<Ser_Prot>2</Ser_Prot>"},
        {"HW_Type", "<HW_Type>1</HW_Type>"},
    };
    std::string content = "<Par_Gen>";
    for (const auto& [valueName, markup] : values) content += valueName == name ? element : markup;
    return content + "</Par_Gen>";
}

// The settings that documentWith() describes when no element is replaced.
CommSettings documentedSettings() {
    CommSettings s;
    s.dnetDeviceId = "20";
    s.dnetBaud = 0;
    s.serialBaud = 3;
    s.serialParity = 2;
    s.serialDeviceId = "17";
    s.serialLine = SerialLine::Rs232;
    s.protocol = SerialProtocol::Jbus;
    s.hardware = HardwareType::B2;
    return s;
}

TEST(CommSettingsDocument, DefaultsWriteTheExactDefaultDocument) {
    EXPECT_EQ(commSettingsDocument(CommSettings{}).serialize(), kDefaultDocument);
}

TEST(CommSettingsDocument, ReadsEveryValueOfAWholeDocument) {
    EXPECT_EQ(fromText(documentWith("", "")), documentedSettings());
}

TEST(CommSettingsDocument, WritesTypedTextsUnchangedAndNoItemAsMinusOne) {
    CommSettings s = documentedSettings();
    s.dnetDeviceId = " 5";
    s.serialDeviceId = "$3F";
    s.dnetBaud = kNoListItem;
    s.protocol = SerialProtocol::Ascii;
    EXPECT_EQ(
        commSettingsDocument(s).serialize(),
        "<Par_Gen><DNET_DEV_ID> 5</DNET_DEV_ID><DNET_BAUD>-1</DNET_BAUD><Ser_Baud>3</Ser_Baud>"
        "<Ser_Par>2</Ser_Par><Ser_ID>$3F</Ser_ID><Ser_Type>0</Ser_Type><Ser_Prot>4</Ser_Prot>"
        "<HW_Type>1</HW_Type></Par_Gen>");
}

TEST(CommSettingsDocument, WhatIsWrittenReadsBackTheSame) {
    CommSettings s = documentedSettings();
    s.dnetDeviceId = "a<b&c";
    s.serialParity = kNoListItem;
    s.protocol = SerialProtocol::Binary;
    EXPECT_EQ(fromText(commSettingsDocument(s).serialize()), s);
}

struct FallbackCase {
    const char* label;
    const char* name;                           // element replaced in the whole document
    const char* element;                        // its replacement ("" drops it)
    std::function<void(CommSettings&)> expect;  // the change to documentedSettings()
};

void PrintTo(const FallbackCase& c, std::ostream* os) { *os << c.label; }

class CommSettingsReading : public ::testing::TestWithParam<FallbackCase> {};

TEST_P(CommSettingsReading, EachValueFallsBackOnItsOwn) {
    CommSettings expected = documentedSettings();
    GetParam().expect(expected);
    EXPECT_EQ(fromText(documentWith(GetParam().name, GetParam().element)), expected);
}

INSTANTIATE_TEST_SUITE_P(
    Values, CommSettingsReading,
    ::testing::Values(
        FallbackCase{"MissingParity", "Ser_Par", "", [](auto& s) { s.serialParity = 0; }},
        FallbackCase{"DnetBaudOutsideTheList", "DNET_BAUD", "<DNET_BAUD>5</DNET_BAUD>",
                     [](auto& s) { s.dnetBaud = kNoListItem; }},
        FallbackCase{"DnetBaudNegative", "DNET_BAUD", "<DNET_BAUD>-1</DNET_BAUD>",
                     [](auto& s) { s.dnetBaud = kNoListItem; }},
        FallbackCase{"DnetBaudHex", "DNET_BAUD", "<DNET_BAUD>$1</DNET_BAUD>",
                     [](auto& s) { s.dnetBaud = 1; }},
        FallbackCase{"DnetBaudLastItem", "DNET_BAUD", "<DNET_BAUD> 2</DNET_BAUD>",
                     [](auto& s) { s.dnetBaud = 2; }},
        FallbackCase{"DnetBaudNotAnInteger", "DNET_BAUD", "<DNET_BAUD>2 </DNET_BAUD>",
                     [](auto& s) { s.dnetBaud = 2; }},
        FallbackCase{"DnetBaudOtherCase", "DNET_BAUD", "<dnet_baud>1</dnet_baud>",
                     [](auto& s) { s.dnetBaud = 2; }},
        FallbackCase{"SerialBaudLastItem", "Ser_Baud", "<Ser_Baud>7</Ser_Baud>",
                     [](auto& s) { s.serialBaud = 7; }},
        FallbackCase{"SerialBaudOutsideTheList", "Ser_Baud", "<Ser_Baud>8</Ser_Baud>",
                     [](auto& s) { s.serialBaud = kNoListItem; }},
        FallbackCase{"ParityOutsideTheList", "Ser_Par", "<Ser_Par>3</Ser_Par>",
                     [](auto& s) { s.serialParity = kNoListItem; }},
        FallbackCase{"ProtocolSevenIsAscii", "Ser_Prot", "<Ser_Prot>7</Ser_Prot>",
                     [](auto& s) { s.protocol = SerialProtocol::Ascii; }},
        FallbackCase{"ProtocolNegativeIsAscii", "Ser_Prot", "<Ser_Prot>-1</Ser_Prot>",
                     [](auto& s) { s.protocol = SerialProtocol::Ascii; }},
        FallbackCase{"ProtocolBinary", "Ser_Prot", "<Ser_Prot>3</Ser_Prot>",
                     [](auto& s) { s.protocol = SerialProtocol::Binary; }},
        FallbackCase{"ProtocolNotAnInteger", "Ser_Prot", "<Ser_Prot>x</Ser_Prot>",
                     [](auto& s) { s.protocol = SerialProtocol::ModbusRtu; }},
        FallbackCase{"LineTypeTwoIsRs232", "Ser_Type", "<Ser_Type>2</Ser_Type>",
                     [](auto& s) { s.serialLine = SerialLine::Rs232; }},
        FallbackCase{"LineTypeOneIsRs485", "Ser_Type", "<Ser_Type>$1</Ser_Type>",
                     [](auto& s) { s.serialLine = SerialLine::Rs485; }},
        FallbackCase{"LineTypeEmpty", "Ser_Type", "<Ser_Type/>",
                     [](auto& s) { s.serialLine = SerialLine::Rs485; }},
        FallbackCase{"HardwareLeadingZeroIsA1", "HW_Type", "<HW_Type>01</HW_Type>",
                     [](auto& s) { s.hardware = HardwareType::A1; }},
        FallbackCase{"HardwareBlankOneIsA1", "HW_Type", "<HW_Type> 1</HW_Type>",
                     [](auto& s) { s.hardware = HardwareType::A1; }},
        FallbackCase{"HardwareEmptyIsA1", "HW_Type", "<HW_Type></HW_Type>",
                     [](auto& s) { s.hardware = HardwareType::A1; }},
        FallbackCase{"HardwareMissingIsA1", "HW_Type", "",
                     [](auto& s) { s.hardware = HardwareType::A1; }},
        FallbackCase{"DnetIdNotANumberKept", "DNET_DEV_ID", "<DNET_DEV_ID>abc</DNET_DEV_ID>",
                     [](auto& s) { s.dnetDeviceId = "abc"; }},
        FallbackCase{"DnetIdEmpty", "DNET_DEV_ID", "<DNET_DEV_ID/>",
                     [](auto& s) { s.dnetDeviceId = ""; }},
        FallbackCase{"DnetIdWithChildElement", "DNET_DEV_ID", "<DNET_DEV_ID><v>3</v></DNET_DEV_ID>",
                     [](auto& s) { s.dnetDeviceId = "10"; }},
        FallbackCase{"DnetIdTwoPieces", "DNET_DEV_ID", "<DNET_DEV_ID>1<!--x-->2</DNET_DEV_ID>",
                     [](auto& s) { s.dnetDeviceId = "10"; }},
        FallbackCase{"SerialIdKeptAsTyped", "Ser_ID", "<Ser_ID> $F7</Ser_ID>",
                     [](auto& s) { s.serialDeviceId = " $F7"; }},
        FallbackCase{"SerialIdMissing", "Ser_ID", "", [](auto& s) { s.serialDeviceId = "1"; }}),
    [](const auto& info) { return std::string(info.param.label); });

TEST(CommSettingsReading, OfTwoElementsOfTheSameNameTheFirstCounts) {
    EXPECT_EQ(
        fromText("<Par_Gen><Ser_Baud>1</Ser_Baud><Ser_Baud>4</Ser_Baud></Par_Gen>").serialBaud, 1);
}

TEST(CommSettingsReading, TheRootIsTakenWhateverItsName) {
    EXPECT_EQ(fromText("<!-- note --><Other><Ser_Par>1</Ser_Par></Other>").serialParity, 1);
}

TEST(CommSettingsReading, AnEmptyDocumentObjectGivesTheDefaults) {
    EXPECT_EQ(commSettingsFromDocument(XmlDocument{}), CommSettings{});
}

TEST(CommSettingsFile, AMissingFileOrAFolderGivesTheDefaults) {
    TempDir dir;
    EXPECT_EQ(readCommSettings(dir / "pargen.xml"), CommSettings{});
    fs::create_directory(dir / "folder.xml");
    EXPECT_EQ(readCommSettings(dir / "folder.xml"), CommSettings{});
}

TEST(CommSettingsFile, AnIndentedFileWithAPrologReadsLikeTheCompactOne) {
    TempDir dir;
    writeText(dir / "pargen.xml",
              "\xEF\xBB\xBF<?xml version=\"1.0\"?>\r\n<!-- site 4 -->\r\n<Par_Gen>\r\n"
              "  <DNET_DEV_ID>20</DNET_DEV_ID>\r\n  <DNET_BAUD>0</DNET_BAUD>\r\n"
              "  <Ser_Baud>3</Ser_Baud>\r\n  <Ser_Par>2</Ser_Par>\r\n  <Ser_ID>17</Ser_ID>\r\n"
              "  <Ser_Type>0</Ser_Type>\r\n  <Ser_Prot>2</Ser_Prot>\r\n  <HW_Type>1</HW_Type>\r\n"
              "</Par_Gen>\r\n");
    EXPECT_EQ(readCommSettings(dir / "pargen.xml"), documentedSettings());
}

TEST(CommSettingsFile, AnUnparsableFileIsAnError) {
    TempDir dir;
    writeText(dir / "pargen.xml", "<Par_Gen><Ser_ID>1</Ser_ID>");
    try {
        readCommSettings(dir / "pargen.xml");
        FAIL() << "expected an error";
    } catch (const Error& e) {
        EXPECT_THAT(e.what(), HasSubstr("\nLine: 1\n"));
    }
}

TEST(CommSettingsFile, WriteReplacesTheFileWithTheDocument) {
    TempDir dir;
    writeText(dir / "pargen.xml", "<?xml version=\"1.0\"?><Par_Gen><Extra/></Par_Gen>");
    writeCommSettings(CommSettings{}, dir / "pargen.xml");
    EXPECT_EQ(readText(dir / "pargen.xml"), kDefaultDocument);
}

TEST(CommSettingsFile, AFailedWriteLeavesTheOldFileWhole) {
    TempDir dir;
    const auto file = dir / "pargen.xml";
    writeText(file, documentWith("", ""));
    fs::permissions(file, fs::perms::owner_read);
    EXPECT_THROW(writeCommSettings(CommSettings{}, file), Error);
    EXPECT_EQ(readText(file), documentWith("", ""));
}

TEST(CommSettingsFile, WritingIntoARemovedFolderIsAnError) {
    TempDir dir;
    const auto file = dir / "project" / "pargen.xml";
    EXPECT_THROW(writeCommSettings(CommSettings{}, file), Error);
    EXPECT_FALSE(fs::exists(file));
}

struct CheckCase {
    const char* dnetId;
    const char* serialId;
    const char* message;  // nullptr: both pass
};

void PrintTo(const CheckCase& c, std::ostream* os) {
    *os << '"' << c.dnetId << "\" / \"" << c.serialId << '"';
}

class CommSettingsCheck : public ::testing::TestWithParam<CheckCase> {};

TEST_P(CommSettingsCheck, GivesTheFirstFailingMessage) {
    CommSettings s;
    s.dnetDeviceId = GetParam().dnetId;
    s.serialDeviceId = GetParam().serialId;
    const auto problem = commSettingsProblem(s);
    if (GetParam().message == nullptr) {
        EXPECT_EQ(problem, std::nullopt);
    } else {
        EXPECT_EQ(problem, std::optional<std::string>(GetParam().message));
    }
}

INSTANTIATE_TEST_SUITE_P(
    Bounds, CommSettingsCheck,
    ::testing::Values(CheckCase{"0", "1", nullptr}, CheckCase{"63", "247", nullptr},
                      CheckCase{" 5", "$F7", nullptr}, CheckCase{"$3F", "+1", nullptr},
                      CheckCase{"-1", "1", kDnetIdMessage}, CheckCase{"64", "1", kDnetIdMessage},
                      CheckCase{"abc", "1", kDnetIdMessage}, CheckCase{"", "1", kDnetIdMessage},
                      CheckCase{"5 ", "1", kDnetIdMessage},
                      CheckCase{"$FFFFFFFF", "1", kDnetIdMessage},
                      CheckCase{"64", "0", kDnetIdMessage}, CheckCase{"10", "0", kSerialIdMessage},
                      CheckCase{"10", "248", kSerialIdMessage},
                      CheckCase{"10", "", kSerialIdMessage},
                      CheckCase{"10", "x", kSerialIdMessage}));

}  // namespace
}  // namespace velmora
