#include "documents/xml_document.h"

#include <libxml/parser.h>
#include <libxml/tree.h>
#include <libxml/xmlerror.h>
#include <libxml/xmlsave.h>

#include <cerrno>
#include <fstream>
#include <iterator>
#include <system_error>

#include "core/atomic_file.h"
#include "core/error.h"

namespace velmora {

namespace {

const xmlChar* X(const std::string& s) {
    return reinterpret_cast<const xmlChar*>(s.c_str());
}

std::string S(const xmlChar* s) {
    return s ? std::string(reinterpret_cast<const char*>(s)) : std::string();
}

// The first error the parser raised, with its position.
struct ParseErrors {
    bool failed = false;
    std::string message;
    int line = 0;
    int column = 0;
};

#if LIBXML_VERSION >= 21200
void captureError(void* user, const xmlError* error) {
#else
void captureError(void* user, xmlErrorPtr error) {
#endif
    auto* errors = static_cast<ParseErrors*>(user);
    const bool serious = error->level >= XML_ERR_ERROR || error->code == XML_WAR_UNDECLARED_ENTITY;
    if (!serious || errors->failed) return;
    errors->failed = true;
    errors->message = error->message ? error->message : "XML parse error";
    while (!errors->message.empty() &&
           (errors->message.back() == '\n' || errors->message.back() == '\r' ||
            errors->message.back() == ' ')) {
        errors->message.pop_back();
    }
    errors->line = error->line;
    errors->column = error->int2;
}

// External entities and DTDs are never fetched, from the network or from disk.
xmlParserInputPtr refuseExternalEntity(const char*, const char*, xmlParserCtxtPtr) {
    return nullptr;
}

// Up to 40 characters of `source` from line `line`, column `column` (both from 1).
std::string sourceExcerpt(std::string_view source, int line, int column) {
    std::size_t pos = 0;
    for (int l = 1; l < line && pos < source.size(); ++l) {
        const std::size_t nl = source.find('\n', pos);
        if (nl == std::string_view::npos) {
            pos = source.size();
            break;
        }
        pos = nl + 1;
    }
    if (column > 1) pos += static_cast<std::size_t>(column - 1);
    if (pos >= source.size()) return {};
    std::size_t end = pos;
    for (int chars = 0; chars < 40 && end < source.size(); ++chars) {
        ++end;
        while (end < source.size() && (static_cast<unsigned char>(source[end]) & 0xC0) == 0x80) ++end;
    }
    return std::string(source.substr(pos, end - pos));
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
        case XML_TEXT_NODE: return "#text";
        case XML_CDATA_SECTION_NODE: return "#cdata-section";
        case XML_COMMENT_NODE: return "#comment";
        default: return qualifiedName(node_);
    }
}

bool XmlNode::isElement() const {
    return node_->type == XML_ELEMENT_NODE;
}

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
        throw Error("Node \"" + this->name() + "\" is not an element and has no attribute \"" +
                    std::string(name) + "\"");
    }
    const std::string key(name);
    xmlAttrPtr attr = xmlHasNsProp(node_, X(key), nullptr);
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
    const std::string key(name);
    const std::string val(value);
    xmlSetProp(node_, X(key), X(val));
}

// ---- XmlDocument

XmlDocument::XmlDocument() = default;

XmlDocument::~XmlDocument() {
    clear();
}

XmlDocument::XmlDocument(XmlDocument&& other) noexcept : doc_(other.doc_) {
    other.doc_ = nullptr;
}

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
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        const int code = errno;
        throw Error(systemErrorText(code ? code : ENOENT) + ": " + path.string());
    }
    // One allocation of the file's size and one read: a register map may be close to a megabyte.
    std::string content;
    in.seekg(0, std::ios::end);
    const std::streamoff size = in.tellg();
    in.seekg(0, std::ios::beg);
    if (size > 0) {
        content.resize(static_cast<std::size_t>(size));
        in.read(content.data(), size);
        content.resize(static_cast<std::size_t>(in.gcount()));
    } else if (size < 0) {  // not seekable: read it as a stream
        in.clear();
        content.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    if (in.bad()) throw Error(systemErrorText(EIO) + ": " + path.string());
    loadFromString(content);
}

void XmlDocument::loadFromString(std::string_view content) {
    clear();
    if (content.size() >= 3 && content.substr(0, 3) == "\xEF\xBB\xBF") content.remove_prefix(3);

    static const bool loaderSet = [] {
        xmlSetExternalEntityLoader(refuseExternalEntity);
        return true;
    }();
    (void)loaderSet;

    ParseErrors errors;
    xmlSetStructuredErrorFunc(&errors, captureError);
    xmlParserCtxtPtr ctxt = xmlNewParserCtxt();
    xmlDocPtr doc = nullptr;
    if (ctxt != nullptr) {
        doc = xmlCtxtReadMemory(ctxt, content.data(), static_cast<int>(content.size()), nullptr,
                                nullptr, XML_PARSE_NONET | XML_PARSE_NOENT | XML_PARSE_NOERROR |
                                             XML_PARSE_NOWARNING);
        if (!ctxt->wellFormed) errors.failed = true;
        xmlFreeParserCtxt(ctxt);
    }
    xmlSetStructuredErrorFunc(nullptr, nullptr);

    if (doc == nullptr || errors.failed || xmlDocGetRootElement(doc) == nullptr) {
        if (doc != nullptr) xmlFreeDoc(doc);
        std::string message = errors.message.empty() ? "The document is not well-formed XML"
                                                     : errors.message;
        message += "\nLine: " + std::to_string(errors.line) + "\n" +
                   sourceExcerpt(content, errors.line, errors.column);
        throw Error(message);
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

bool XmlDocument::empty() const {
    return doc_ == nullptr;
}

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
