#include "documents/xml_document.h"

#include <libxml/parser.h>
#include <libxml/tree.h>
#include <libxml/xmlsave.h>

#include <limits>
#include <system_error>

#include "core/atomic_file.h"
#include "core/error.h"
#include "documents/xml_parsing.h"
#include "documents/xml_text.h"

namespace velmora {

using xml_internal::captureError;
using xml_internal::failNonXmlCharacter;
using xml_internal::failParse;
using xml_internal::holdsNonXmlCharacter;
using xml_internal::kByteOrderMark;
using xml_internal::kParseOptions;
using xml_internal::ParseErrors;
using xml_internal::readWholeFile;
using xml_internal::refuseExternalEntities;

namespace {

const xmlChar* X(const std::string& s) { return reinterpret_cast<const xmlChar*>(s.c_str()); }

std::string S(const xmlChar* s) {
    return s ? std::string(reinterpret_cast<const char*>(s)) : std::string();
}

bool isBlank(const xmlChar* s) {
    if (!s) return true;
    for (; *s; ++s) {
        if (*s != ' ' && *s != '\t' && *s != '\n' && *s != '\r') return false;
    }
    return true;
}

// Removes every text node that holds only whitespace, so an indented file reads like a compact one.
void dropBlankText(xmlNodePtr node) {
    for (xmlNodePtr child = node->children; child != nullptr;) {
        xmlNodePtr next = child->next;
        if (child->type == XML_TEXT_NODE && isBlank(child->content)) {
            xmlUnlinkNode(child);
            xmlFreeNode(child);
        } else if (child->type == XML_ELEMENT_NODE) {
            dropBlankText(child);
        }
        child = next;
    }
}

std::string qualifiedName(const xmlNode* node) {
    std::string name = S(node->name);
    if (node->type == XML_ELEMENT_NODE && node->ns && node->ns->prefix) {
        name = S(node->ns->prefix) + ":" + name;
    }
    return name;
}

}  // namespace

// ---- XmlNode

std::string XmlNode::name() const {
    switch (node_->type) {
        case XML_TEXT_NODE:
            return "#text";
        case XML_CDATA_SECTION_NODE:
            return "#cdata-section";
        case XML_COMMENT_NODE:
            return "#comment";
        default:
            return qualifiedName(node_);
    }
}

bool XmlNode::isElement() const { return node_->type == XML_ELEMENT_NODE; }

std::optional<XmlNode> XmlNode::child(std::string_view name) const {
    for (xmlNodePtr c = node_->children; c != nullptr; c = c->next) {
        if (c->type == XML_ELEMENT_NODE && qualifiedName(c) == name) return XmlNode(c);
    }
    return std::nullopt;
}

std::vector<XmlNode> XmlNode::children() const {
    std::vector<XmlNode> result;
    for (xmlNodePtr c = node_->children; c != nullptr; c = c->next) result.emplace_back(c);
    return result;
}

std::size_t XmlNode::childCount() const {
    std::size_t n = 0;
    for (xmlNodePtr c = node_->children; c != nullptr; c = c->next) ++n;
    return n;
}

std::string XmlNode::text() const {
    const xmlNodePtr only = node_->children;
    if (node_->type == XML_ELEMENT_NODE) {
        if (only == nullptr) return {};
        if (only->next == nullptr &&
            (only->type == XML_TEXT_NODE || only->type == XML_CDATA_SECTION_NODE)) {
            return S(only->content);
        }
    }
    throw Error("Element does not contain a single text node");
}

std::optional<std::string> XmlNode::attribute(std::string_view name) const {
    if (node_->type != XML_ELEMENT_NODE) {
        throw Error("Node " + quotedValue(this->name()) +
                    " is not an element and has no attribute " + quotedValue(name));
    }
    // Walks the element's own attributes: a library lookup would also offer defaults from a DTD.
    xmlAttrPtr attr = node_->properties;
    while (attr != nullptr &&
           (attr->ns != nullptr ||
            std::string_view(reinterpret_cast<const char*>(attr->name)) != name)) {
        attr = attr->next;
    }
    if (attr == nullptr) return std::nullopt;
    if (attr->children == nullptr) return std::string();
    if (attr->children->next == nullptr && attr->children->type == XML_TEXT_NODE) {
        return S(attr->children->content);
    }
    xmlChar* value = xmlNodeListGetString(node_->doc, attr->children, 1);
    std::string result = S(value);
    xmlFree(value);
    return result;
}

XmlNode XmlNode::appendChild(std::string_view name) {
    const std::string key(name);
    xmlNodePtr child = xmlNewDocNode(node_->doc, nullptr, X(key), nullptr);
    xmlAddChild(node_, child);
    return XmlNode(child);
}

void XmlNode::setText(std::string_view text) {
    if (holdsNonXmlCharacter(text)) failNonXmlCharacter("text of element " + quotedValue(name()));
    while (node_->children != nullptr) {
        xmlNodePtr c = node_->children;
        xmlUnlinkNode(c);
        xmlFreeNode(c);
    }
    if (text.empty()) return;
    xmlNodePtr t = xmlNewDocTextLen(node_->doc, reinterpret_cast<const xmlChar*>(text.data()),
                                    static_cast<int>(text.size()));
    xmlAddChild(node_, t);
}

void XmlNode::setAttribute(std::string_view name, std::string_view value) {
    if (holdsNonXmlCharacter(value)) {
        failNonXmlCharacter("value of attribute " + quotedValue(name));
    }
    const std::string key(name);
    const std::string val(value);
    xmlSetProp(node_, X(key), X(val));
}

// ---- XmlDocument

XmlDocument::XmlDocument() = default;

XmlDocument::~XmlDocument() { clear(); }

XmlDocument::XmlDocument(XmlDocument&& other) noexcept : doc_(other.doc_) { other.doc_ = nullptr; }

XmlDocument& XmlDocument::operator=(XmlDocument&& other) noexcept {
    if (this != &other) {
        clear();
        doc_ = other.doc_;
        other.doc_ = nullptr;
    }
    return *this;
}

void XmlDocument::clear() {
    if (doc_ != nullptr) {
        xmlFreeDoc(doc_);
        doc_ = nullptr;
    }
}

bool XmlDocument::fileExists(const std::filesystem::path& path) {
    std::error_code ec;
    return !path.empty() && std::filesystem::is_regular_file(path, ec);
}

void XmlDocument::load(const std::filesystem::path& path) {
    clear();
    loadFromString(readWholeFile(path));
}

void XmlDocument::loadFromString(std::string_view content) {
    clear();
    if (content.substr(0, 3) == kByteOrderMark) content.remove_prefix(3);
    if (content.size() > static_cast<std::size_t>(std::numeric_limits<int>::max())) {
        throw Error("The document is too large to be read");
    }
    refuseExternalEntities();

    ParseErrors errors;
    xmlSetStructuredErrorFunc(&errors, captureError);
    xmlParserCtxtPtr ctxt = xmlNewParserCtxt();
    xmlDocPtr doc = nullptr;
    if (ctxt != nullptr) {
        // No quieting options: the structured handler above takes every error and prints none,
        // and the quieting options would hide them from it on some library versions.
        doc = xmlCtxtReadMemory(ctxt, content.data(), static_cast<int>(content.size()), nullptr,
                                nullptr, kParseOptions);
        if (!ctxt->wellFormed) errors.failed = true;
        xmlFreeParserCtxt(ctxt);
    }
    xmlSetStructuredErrorFunc(nullptr, nullptr);

    if (doc == nullptr || errors.failed || xmlDocGetRootElement(doc) == nullptr) {
        if (doc != nullptr) xmlFreeDoc(doc);
        failParse(errors, content);
    }

    // What stands before the root element (declaration, comments, processing instructions,
    // document type) is passed over: the root element becomes the first top-level node.
    xmlNodePtr root = xmlDocGetRootElement(doc);
    while (doc->children != root) {
        xmlNodePtr before = doc->children;
        xmlUnlinkNode(before);
        if (before->type == XML_DTD_NODE) {
            xmlFreeDtd(reinterpret_cast<xmlDtdPtr>(before));
        } else {
            xmlFreeNode(before);
        }
    }
    dropBlankText(root);
    doc_ = doc;
}

bool XmlDocument::empty() const { return doc_ == nullptr; }

std::optional<XmlNode> XmlDocument::firstNode() const {
    if (doc_ == nullptr || doc_->children == nullptr) return std::nullopt;
    return XmlNode(doc_->children);
}

std::optional<XmlNode> XmlDocument::documentElement() const {
    if (doc_ == nullptr) return std::nullopt;
    xmlNodePtr root = xmlDocGetRootElement(doc_);
    if (root == nullptr) return std::nullopt;
    return XmlNode(root);
}

XmlNode XmlDocument::create(std::string_view rootName) {
    clear();
    doc_ = xmlNewDoc(reinterpret_cast<const xmlChar*>("1.0"));
    // Without a document encoding the serialiser writes non-ASCII as character references.
    doc_->encoding = xmlStrdup(reinterpret_cast<const xmlChar*>("UTF-8"));
    const std::string name(rootName);
    xmlNodePtr root = xmlNewDocNode(doc_, nullptr, X(name), nullptr);
    xmlDocSetRootElement(doc_, root);
    return XmlNode(root);
}

std::string XmlDocument::serialize() const {
    const auto root = documentElement();
    if (!root) return {};
    xmlBufferPtr buffer = xmlBufferCreate();
    xmlSaveCtxtPtr save = xmlSaveToBuffer(buffer, "UTF-8", XML_SAVE_NO_DECL | XML_SAVE_AS_XML);
    xmlSaveTree(save, root->raw());
    xmlSaveClose(save);
    std::string result(reinterpret_cast<const char*>(xmlBufferContent(buffer)),
                       static_cast<std::size_t>(xmlBufferLength(buffer)));
    xmlBufferFree(buffer);
    return result;
}

void XmlDocument::save(const std::filesystem::path& path) const {
    writeFileAtomically(path, serialize());
}

}  // namespace velmora
