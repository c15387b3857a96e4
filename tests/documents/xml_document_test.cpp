#include "documents/xml_document.h"

#include <gtest/gtest.h>

#include "core/error.h"

namespace velmora {
namespace {

TEST(XmlDocumentWriting, WritesTheRootMarkupAloneWithAttributesInOrderAndEscaped) {
    XmlDocument doc;
    auto root = doc.create("DNET_Net");
    auto row = root.appendChild("row");
    row.setAttribute("ID", "5");
    row.setAttribute("NB_IN", "4");
    row.setAttribute("Mnemonic", "A&B \"q\" <\xC3\xA9>");
    root.appendChild("row");
    auto text = root.appendChild("T");
    text.setText("x<y&z");
    EXPECT_EQ(doc.serialize(),
              "<DNET_Net><row ID=\"5\" NB_IN=\"4\" Mnemonic=\"A&amp;B &quot;q&quot; "
              "&lt;\xC3\xA9&gt;\"/><row/><T>x&lt;y&amp;z</T></DNET_Net>");
}

TEST(XmlDocumentLoading, PassesOverPrologAndDropsBlankText) {
    XmlDocument doc;
    doc.loadFromString("\xEF\xBB\xBF<?xml version=\"1.0\"?>\r\n<!-- note -->\r\n<Par_Gen>\r\n  "
                       "<A> 5</A>\r\n  <B/>\r\n</Par_Gen>\r\n");
    auto root = doc.firstNode();
    ASSERT_TRUE(root);
    EXPECT_EQ(root->name(), "Par_Gen");
    EXPECT_EQ(root->childCount(), 2u);
    EXPECT_EQ(root->child("A")->text(), " 5");
    EXPECT_EQ(root->child("B")->text(), "");
}

TEST(XmlDocumentLoading, ParseErrorNamesLineAndSource) {
    XmlDocument doc;
    try {
        doc.loadFromString("<a>\n<b>x & y</b></a>");
        FAIL();
    } catch (const Error& e) {
        const std::string what = e.what();
        EXPECT_NE(what.find("\nLine: 2\n"), std::string::npos) << what;
    }
    EXPECT_TRUE(doc.empty());
}

}  // namespace
}  // namespace velmora
