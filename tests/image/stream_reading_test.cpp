// The stream readers of DNET_Net.xml and DefReg.xml against the tree-based reading they replace:
// every document of the corpus, and many mutations of it, must give the same register map model,
// the same messages, the same image bytes and the same error text.
#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "core/error.h"

#include "documents/register_map.h"
#include "image/composer.h"
#include "image/image_format.h"
#include "image/tree_reading.h"
#include "support/temp_dir.h"

namespace velmora {
namespace {

namespace fs = std::filesystem;

// No file at all is one more input.
constexpr char kAbsent[] = "(absent)";

const std::vector<std::string> kNodeDocuments = {
    kAbsent,
    "",
    "   \n",
    "<DNET_Net/>",
    R"(<DNET_Net><row ID="5" NB_IN="4" NB_OUT="2" Mnemonic="Drive"/><row ID="9" NB_IN="8" NB_OUT="6" Mnemonic=""/></DNET_Net>)",
    "\xEF\xBB\xBF<?xml version=\"1.0\"?>\n<!-- nodes -->\n<DNET_Net>\n  <row ID=\" 0x9\" "
    "NB_IN=\"$10\" NB_OUT=\"+6\"/>\n  <node ID=\"1\" NB_IN=\"1\" "
    "NB_OUT=\"1\"></node>\n</DNET_Net>\n<!-- after -->",
    R"(<DNET_Net><row ID="1" NB_IN="1" NB_OUT="1"/><!-- c --><row ID="2" NB_IN="1" NB_OUT="1"/></DNET_Net>)",
    R"(<DNET_Net><row ID="1" NB_IN="1" NB_OUT="1"/>text<row ID="2" NB_IN="1" NB_OUT="1"/></DNET_Net>)",
    R"(<DNET_Net><row ID="1" NB_IN="1" NB_OUT="1"/><?pi data?></DNET_Net>)",
    R"(<DNET_Net><row ID="1" NB_IN="1" NB_OUT="1"/><![CDATA[]]></DNET_Net>)",
    R"(<DNET_Net><row ID="1" NB_IN="1" NB_OUT="1"/><row ID="2" NB_IN="1"/></DNET_Net>)",
    R"(<DNET_Net><row ID="5 " NB_IN="1" NB_OUT="1"/></DNET_Net>)",
    R"(<DNET_Net><row ID="300" NB_IN="40000" NB_OUT="$FFFF"/><row ID="-1" NB_IN="30000" NB_OUT="2"/></DNET_Net>)",
    R"(<DNET_Net><row ID="1" NB_IN="1" NB_OUT="1"><row ID="x"/></row><row ID="2" NB_IN="2" NB_OUT="2"/></DNET_Net>)",
    R"(<n:DNET_Net xmlns:n="urn:n" xmlns:a="urn:a"><n:row a:ID="7" ID="1" NB_IN="1" NB_OUT="1"/><row a:NB_IN="1" ID="1" NB_OUT="1"/></n:DNET_Net>)",
    "<!DOCTYPE DNET_Net [<!ENTITY one \"1\"><!ENTITY r \"<row ID='3' NB_IN='&one;' "
    "NB_OUT='2'/>\"><!ATTLIST row NB_OUT CDATA \"9\">]>"
    "<DNET_Net><row ID=\"&one;\" NB_IN=\"&#x31;\" NB_OUT=\"1\"/>&r;&r;<row ID=\"1\" "
    "NB_IN=\"1\"/></DNET_Net>",
    "<!DOCTYPE DNET_Net [<!ENTITY t \"  \">]><DNET_Net>&t;<row ID=\"1\" NB_IN=\"1\" "
    "NB_OUT=\"1\"/>&t;x</DNET_Net>",
    R"(<DNET_Net><row ID="1" NB_IN="1" NB_OUT="1"/><row ID="x" NB_IN="1" NB_OUT="1"/><bad></DNET_Net>)",
    R"(<DNET_Net><row ID="1" NB_IN="1" NB_OUT="1" ID="2"/></DNET_Net>)",
    R"(<DNET_Net><row ID="1" NB_IN="1" NB_OUT="1"/></DNET_Net><DNET_Net/>)",
    "<DNET_Net><row ID=\"1\" NB_IN=\"1\" NB_OUT=\"1\" Mnemonic=\"\xC3\"/></DNET_Net>",
    "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><DNET_Net><row ID=\"1\" NB_IN=\"1\" "
    "NB_OUT=\"1\" Mnemonic=\"caf\xE9\"/></DNET_Net>",
    "<?xml version=\"1.0\" encoding=\"US-ASCII\"?><DNET_Net><row ID=\"1\" NB_IN=\"1\" NB_OUT=\"1\" "
    "Mnemonic=\"caf\xE9\"/></DNET_Net>",
    R"(<DNET_Net><row ID="1" NB_IN="1" NB_OUT="&undefined;"/></DNET_Net>)",
    "<DNET_Net>\n<row ID=\"1\" NB_IN=\"1\" NB_OUT=\"1\"/>\n<row ID=\"2\" NB_IN=\"1\" "
    "NB_OUT=\"1\"/>\n</DNET_Nex>",
    "<!DOCTYPE DNET_Net SYSTEM \"file:///etc/passwd\"><DNET_Net><row ID=\"1\" NB_IN=\"1\" "
    "NB_OUT=\"1\"/></DNET_Net>",
};

const std::vector<std::string> kMapDocuments = {
    kAbsent,
    "",
    "<InfoMod><Modbus_Read/><Modbus_Write/></InfoMod>",
    R"(<InfoMod><Modbus_Read><row Index="1" NrDNNode="2" PosComp="196612"/><row Index="2" NrDNNode="3" PosComp="1"/><row Index="3" NrDNNode="$7FFFFFFF"/></Modbus_Read><Modbus_Write><row Index="0x10" NrDNNode="1" PosComp="-1"/></Modbus_Write></InfoMod>)",
    R"(<InfoMod><Modbus_Write><row Index="4" NrDNNode="1" PosComp="1"/></Modbus_Write><Modbus_Read><row Index="5" NrDNNode="2" PosComp="2"/></Modbus_Read></InfoMod>)",
    R"(<InfoMod><Modbus_Read><row Index="1" NrDNNode="1" PosComp="0"/><row Index="2" NrDNNode="0" PosComp="0"/></Modbus_Read><Modbus_Write/></InfoMod>)",
    R"(<InfoMod><Modbus_Read/><Modbus_Write><row Index="1" NrDNNode="-1" PosComp="0"/></Modbus_Write></InfoMod>)",
    R"(<InfoMod><Modbus_Read><row Index="1" NrDNNode="one" PosComp="0"/></Modbus_Read><Modbus_Write/></InfoMod>)",
    R"(<InfoMod><Modbus_Read/><Modbus_Write><row Index="1" NrDNNode="2"/></Modbus_Write></InfoMod>)",
    R"(<InfoMod><Modbus_Read><row Index="x" NrDNNode="1"/></Modbus_Read><Modbus_Write/></InfoMod>)",
    R"(<InfoMod><Modbus_Read><row Index="7" NrDNNode="1" PosComp="y"/><row Index="8" NrDNNode="1" PosComp="1"/></Modbus_Read><Modbus_Write/></InfoMod>)",
    R"(<InfoMod><Modbus_Read><row Index="7" NrDNNode="1" PosComp="1"/></Modbus_Read></InfoMod>)",
    R"(<InfoMod><Modbus_Write/></InfoMod>)",
    R"(<InfoMod><Modbus_Read><row Index="1" NrDNNode="1" PosComp="1"/><!--c--></Modbus_Read><Modbus_Write>t</Modbus_Write></InfoMod>)",
    R"(<InfoMod><Modbus_Read><row Index="1" NrDNNode="1" PosComp="1"/></Modbus_Read><Modbus_Read><row Index="2" NrDNNode="1" PosComp="1"/></Modbus_Read><Modbus_Write><x><row/></x></Modbus_Write><Modbus_Write><bad/></Modbus_Write></InfoMod>)",
    R"(<InfoMod><m:Modbus_Read xmlns:m="urn:m"><row/></m:Modbus_Read><Modbus_Read><row p:Index="9" Index="3" NrDNNode="1" PosComp="1" xmlns:p="urn:p"/></Modbus_Read><Modbus_Write/></InfoMod>)",
    "<!DOCTYPE InfoMod [<!ENTITY rows \"<row Index='1' NrDNNode='1' PosComp='1'/><row Index='2' "
    "NrDNNode='1' PosComp='2'/>\"><!ATTLIST row PosComp CDATA \"5\">]>"
    "<InfoMod><Modbus_Read>&rows;<row Index=\"3\" "
    "NrDNNode=\"1\"/></Modbus_Read><Modbus_Write>&rows;&rows;</Modbus_Write></InfoMod>",
    "\xEF\xBB\xBF<InfoMod>\n  <Modbus_Read>\n    <row Index=\"1\" NrDNNode=\"1\" "
    "PosComp=\"65537\"/>\n  </Modbus_Read>\n  <Modbus_Write>\n  </Modbus_Write>\n</InfoMod>\n",
    R"(<InfoMod><Modbus_Read><row Index="1" NrDNNode="0" PosComp="0"/></Modbus_Read><Modbus_Write/></InfoMod><oops/>)",
    R"(<InfoMod><Modbus_Read><row Index="1" NrDNNode="0" PosComp="0"/></Modbus_Read><Modbus_Write/>)",
    "<InfoMod><Modbus_Read><row Index=\"1\" NrDNNode=\"1\" "
    "PosComp=\"0\"/></Modbus_Read><Modbus_Write><row Index=\"\xFF\" NrDNNode=\"1\" "
    "PosComp=\"0\"/></Modbus_Write></InfoMod>",
    R"(<InfoMod><Modbus_Read><row Index="1" NrDNNode="1" PosComp="0" & /></Modbus_Read><Modbus_Write/></InfoMod>)",
};

std::string describe(const RegisterMap& map, const std::vector<std::string>& messages) {
    std::ostringstream out;
    for (const std::string& m : messages) out << "message " << m << "\n";
    if (!map.nodeLists) return out.str() + "no node lists\n";
    for (const MapSide side : {MapSide::Read, MapSide::Write}) {
        for (const TClDNNode& node : map.nodeLists->list(side)) {
            out << node.NrDNNode << " " << node.ID << " [" << node.IDText << "] [" << node.NByteText
                << "] " << node.NByte << ":";
            for (const TClIndMB& e : node.IndMBList)
                out << " [" << e.Index() << "|" << e.PosComp() << "]";
            out << "\n";
        }
    }
    return out.str();
}

void place(const fs::path& file, const std::string& content) {
    std::error_code ec;
    fs::remove(file, ec);
    if (content != kAbsent) test::writeText(file, content);
}

class StreamReading : public ::testing::Test {
protected:
    // Both readings of one project; a failed expectation names the two documents.
    void compare(const std::string& nodes, const std::string& map) {
        place(dir / "DNET_Net.xml", nodes);
        place(dir / "DefReg.xml", map);
        SCOPED_TRACE("DNET_Net.xml: " + nodes + "\nDefReg.xml: " + map);

        std::vector<std::string> treeMessages;
        std::vector<std::string> streamMessages;
        const RegisterMap tree =
            tree_reading::loadRegisterMap(dir / "DNET_Net.xml", dir / "DefReg.xml",
                                          [&](const std::string& m) { treeMessages.push_back(m); });
        RegisterMapLoad load = LoadRegisterMap(dir / "DNET_Net.xml", dir / "DefReg.xml");
        const RegisterMap stream = std::move(load.map);
        streamMessages = std::move(load.messages);
        EXPECT_EQ(describe(stream, streamMessages), describe(tree, treeMessages));

        ConfigImage treeImage;
        ConfigImage streamImage;
        const std::string treeError = tree_reading::composeConfigImage(treeImage, dir.path());
        std::string streamError;
        try {
            ComposeConfigImage(streamImage, dir.path());
        } catch (const Error& e) {
            streamError = tree_reading::failureText(e);
        }
        EXPECT_EQ(streamError, treeError);
        EXPECT_EQ(streamImage.complete, treeImage.complete);
        EXPECT_EQ(streamImage.length, treeImage.length);
        EXPECT_TRUE(streamImage.buffer == treeImage.buffer);
    }

    test::TempDir dir;
};

TEST_F(StreamReading, EveryPairOfCorpusDocumentsReadsAsThroughTheTree) {
    for (const std::string& nodes : kNodeDocuments) {
        for (const std::string& map : kMapDocuments) compare(nodes, map);
    }
}

// `document` with one to three random edits: a byte removed, a markup byte inserted, a span
// repeated.
std::string mutated(std::string document, std::mt19937& random) {
    static const std::string kInserted = "<>/&;=\"' !-?[]x1\n\xC3";
    const int edits = std::uniform_int_distribution<int>(1, 3)(random);
    for (int i = 0; i < edits && !document.empty(); ++i) {
        const std::size_t at =
            std::uniform_int_distribution<std::size_t>(0, document.size() - 1)(random);
        switch (std::uniform_int_distribution<int>(0, 2)(random)) {
            case 0:
                document.erase(at, 1);
                break;
            case 1:
                document.insert(document.begin() + static_cast<std::ptrdiff_t>(at),
                                kInserted[random() % kInserted.size()]);
                break;
            default: {
                const std::size_t length =
                    std::min<std::size_t>(random() % 24 + 1, document.size() - at);
                document.insert(at, document.substr(at, length));
            }
        }
    }
    return document;
}

TEST_F(StreamReading, MutatedDocumentsReadAsThroughTheTree) {
    std::mt19937 random(16);
    const std::string& goodNodes = kNodeDocuments[4];
    const std::string& goodMap = kMapDocuments[3];
    for (std::size_t seedDocument = 3; seedDocument < kNodeDocuments.size(); ++seedDocument) {
        for (int i = 0; i < 40; ++i)
            compare(mutated(kNodeDocuments[seedDocument], random), goodMap);
    }
    for (std::size_t seedDocument = 2; seedDocument < kMapDocuments.size(); ++seedDocument) {
        for (int i = 0; i < 40; ++i)
            compare(goodNodes, mutated(kMapDocuments[seedDocument], random));
    }
}

TEST_F(StreamReading, ProjectsAtTheImageCapacityReadAsThroughTheTree) {
    std::string nodes = "<DNET_Net>";
    for (int i = 0; i < 11200; ++i) nodes += R"(<row ID="1" NB_IN="1" NB_OUT="1"/>)";
    compare(nodes + "</DNET_Net>", kAbsent);
    std::string map = "<InfoMod><Modbus_Read>";
    for (int i = 0; i < 9000; ++i) map += R"(<row Index="1" NrDNNode="1" PosComp="1"/>)";
    map += "</Modbus_Read><Modbus_Write>";
    for (int i = 0; i < 6000; ++i) map += R"(<row Index="2" NrDNNode="2" PosComp="2"/>)";
    compare(kNodeDocuments[4], map + "</Modbus_Write></InfoMod>");
    compare(kNodeDocuments[4], map + "<row NrDNNode=\"0\"/></Modbus_Write></InfoMod>");
}

}  // namespace
}  // namespace velmora
