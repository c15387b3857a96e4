#include "documents/xml_document.h"

#include <libxml/SAX2.h>
#include <libxml/parser.h>
#include <libxml/parserInternals.h>
#include <libxml/tree.h>
#include <libxml/xmlerror.h>
#include <libxml/xmlsave.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <exception>
#include <fstream>
#include <iterator>
#include <limits>
#include <system_error>

#include "core/atomic_file.h"
#include "core/error.h"
#include "core/path_text.h"

namespace velmora {

namespace {

const xmlChar* X(const std::string& s) { return reinterpret_cast<const xmlChar*>(s.c_str()); }

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

// The reason on one line: the parser puts details such as the offending bytes on a line of
// their own, but the line after the reason is the line number.
std::string oneLine(std::string_view message) {
    std::string result;
    for (const char c : message) {
        if (c == '\n' || c == '\r') {
            if (!result.empty() && result.back() != ' ') result += ' ';
        } else {
            result += c;
        }
    }
    while (!result.empty() && result.back() == ' ') result.pop_back();
    return result;
}

#if LIBXML_VERSION >= 21200
void captureError(void* user, const xmlError* error) {
#else
void captureError(void* user, xmlErrorPtr error) {
#endif
    auto* errors = static_cast<ParseErrors*>(user);
    const bool serious = error->level >= XML_ERR_ERROR || error->code == XML_WAR_UNDECLARED_ENTITY;
    if (!serious || errors->failed) return;
    errors->failed = true;
    errors->message = oneLine(error->message ? error->message : "XML parse error");
    errors->line = error->line;
    errors->column = error->int2;
}

// External entities and DTDs are never fetched, from the network or from disk.
xmlParserInputPtr refuseExternalEntity(const char*, const char*, xmlParserCtxtPtr) {
    return nullptr;
}

// The length of the UTF-8 sequence starting at `pos`, or 0 when it is not a valid one.
std::size_t utf8SequenceLength(std::string_view text, std::size_t pos) {
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char lead = byte(pos);
    if (lead < 0x80) return 1;
    std::size_t length = 0;
    std::uint32_t code = 0;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
        code = lead & 0x1Fu;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        code = lead & 0x0Fu;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        code = lead & 0x07u;
    } else {
        return 0;
    }
    if (pos + length > text.size()) return 0;
    for (std::size_t i = 1; i < length; ++i) {
        if ((byte(pos + i) & 0xC0u) != 0x80u) return 0;
        code = (code << 6) | (byte(pos + i) & 0x3Fu);
    }
    const bool overlong = (length == 3 && code < 0x800) || (length == 4 && code < 0x10000);
    const bool surrogate = code >= 0xD800 && code <= 0xDFFF;
    if (overlong || surrogate || code > 0x10FFFF) return 0;
    return length;
}

// `text` with every byte that does not belong to a valid UTF-8 sequence replaced by U+FFFD,
// so that a message quoting a broken file can still be shown.
std::string validUtf8(std::string_view text) {
    std::string result;
    result.reserve(text.size());
    for (std::size_t pos = 0; pos < text.size();) {
        const std::size_t length = utf8SequenceLength(text, pos);
        if (length == 0) {
            result += "\xEF\xBF\xBD";
            ++pos;
        } else {
            result.append(text.substr(pos, length));
            pos += length;
        }
    }
    return result;
}

// The byte position `characters` characters after `pos`; a byte that is not valid UTF-8 counts
// as one character, as the parser counts it.
std::size_t advanceCharacters(std::string_view text, std::size_t pos, std::size_t characters) {
    for (; characters > 0 && pos < text.size(); --characters) {
        pos += std::max<std::size_t>(1, utf8SequenceLength(text, pos));
    }
    return pos;
}

// The most characters of a document that a message quotes.
constexpr std::size_t kQuotedCharacters = 40;

// Up to 40 characters of `source` from line `line`, column `column` (both from 1; the parser
// counts columns in characters).
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
    if (column > 1) pos = advanceCharacters(source, pos, static_cast<std::size_t>(column - 1));
    if (pos >= source.size()) return {};
    const std::size_t end = advanceCharacters(source, pos, kQuotedCharacters);
    return validUtf8(source.substr(pos, end - pos));
}

// The parser's first error with its line and up to 40 characters of `content` from its place.
[[noreturn]] void failParse(const ParseErrors& errors, std::string_view content) {
    std::string message =
        errors.message.empty() ? "The document is not well-formed XML" : errors.message;
    message += "\nLine: " + std::to_string(errors.line) + "\n" +
               sourceExcerpt(content, errors.line, errors.column);
    throw Error(validUtf8(message));
}

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";
constexpr int kParseOptions = XML_PARSE_NONET | XML_PARSE_NOENT;

void refuseExternalEntities() {
    static const bool loaderSet = [] {
        xmlSetExternalEntityLoader(refuseExternalEntity);
        return true;
    }();
    (void)loaderSet;
}

[[noreturn]] void failOpening(const std::filesystem::path& path) {
    const int code = errno;
    throw Error(systemErrorText(code ? code : ENOENT) + ": " + pathText(path));
}

[[noreturn]] void failReading(const std::filesystem::path& path) {
    throw Error(systemErrorText(EIO) + ": " + pathText(path));
}

// No project comes near this size; a larger file would cost gigabytes before the parser gives up.
[[noreturn]] void failTooLarge(const std::filesystem::path& path) {
    throw Error("The document is larger than " + std::to_string(kMaxDocumentBytes >> 20) +
                " MiB and is not read: " + pathText(path));
}

// The whole content of the file at `path`.
std::string readWholeFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) failOpening(path);
    // One allocation of the file's size and one read: a register map may be close to a megabyte.
    std::string content;
    in.seekg(0, std::ios::end);
    const std::streamoff size = in.tellg();
    in.seekg(0, std::ios::beg);
    if (size > static_cast<std::streamoff>(kMaxDocumentBytes)) failTooLarge(path);
    if (size > 0) {
        content.resize(static_cast<std::size_t>(size));
        in.read(content.data(), size);
        content.resize(static_cast<std::size_t>(in.gcount()));
    } else if (size < 0) {  // not seekable: read it as a stream
        in.clear();
        char chunk[65536];
        while (in.read(chunk, sizeof(chunk)) || in.gcount() > 0) {
            content.append(chunk, static_cast<std::size_t>(in.gcount()));
            if (content.size() > kMaxDocumentBytes) failTooLarge(path);
        }
        if (!in.bad()) in.clear();
    }
    if (in.bad()) failReading(path);
    return content;
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

// True when `text` (UTF-8) holds a character that XML cannot carry, even escaped: a control
// character other than tab, line feed and carriage return, or U+FFFE or U+FFFF.
bool holdsNonXmlCharacter(std::string_view text) {
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto byte = static_cast<unsigned char>(text[i]);
        if (byte < 0x20 && byte != '\t' && byte != '\n' && byte != '\r') return true;
        const std::string_view next = text.substr(i + 1, 2);
        if (byte == 0xEF && (next == "\xBF\xBE" || next == "\xBF\xBF")) return true;
    }
    return false;
}

// Written as is, such a character would make the whole saved document unreadable.
[[noreturn]] void failNonXmlCharacter(const std::string& where) {
    throw Error("The " + where + " holds a character that XML does not allow");
}

std::string qualifiedName(const xmlNode* node) {
    std::string name = S(node->name);
    if (node->type == XML_ELEMENT_NODE && node->ns && node->ns->prefix) {
        name = S(node->ns->prefix) + ":" + name;
    }
    return name;
}

}  // namespace

std::string quotedValue(std::string_view value) {
    return "\"" + validUtf8(value.substr(0, advanceCharacters(value, 0, kQuotedCharacters))) + "\"";
}

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

// ---- streaming

struct XmlStreamAccess {
    static XmlStreamElement make(int depth, std::string_view name, const xmlChar** attributes,
                                 int count) {
        XmlStreamElement element;
        element.depth_ = depth;
        element.name_ = name;
        element.attributes_ = attributes;
        element.attributeCount_ = count;
        return element;
    }
};

std::optional<std::string_view> XmlStreamElement::attribute(std::string_view name) const {
    for (std::ptrdiff_t i = 0; i < attributeCount_; ++i) {
        const xmlChar** a = attributes_ + 5 * i;  // local name, prefix, URI, value, value end
        if (a[1] != nullptr) continue;            // a prefixed attribute has a namespace
        if (reinterpret_cast<const char*>(a[0]) != name) continue;
        return std::string_view(reinterpret_cast<const char*>(a[3]),
                                static_cast<std::size_t>(a[4] - a[3]));
    }
    return std::nullopt;
}

namespace {

// The file handed to the parser piece by piece, its byte order mark passed over as load() does.
struct FileInput {
    std::ifstream in;
    bool failed = false;
    bool tooLarge = false;
    std::size_t total = 0;
};

int readPiece(void* context, char* buffer, int length) {
    auto& input = *static_cast<FileInput*>(context);
    input.in.read(buffer, length);
    if (input.in.bad()) {
        input.failed = true;
        return -1;
    }
    input.total += static_cast<std::size_t>(input.in.gcount());
    // A file that is not seekable (a pipe) shows its size only while it is read.
    if (input.total > kMaxDocumentBytes) {
        input.tooLarge = true;
        return -1;
    }
    return static_cast<int>(input.in.gcount());
}

// Where a stream reading stands, reached from the parser context's private pointer (which the
// parser also hands to the contexts it makes for entity content).
struct StreamState {
    XmlStreamHandler* handler = nullptr;
    int depth = 0;
    bool sawRoot = false;
    // Text since the last other node: the tree joins it into one node and drops it when blank.
    bool textPending = false;
    bool textNonBlank = false;
    std::string name;
    std::exception_ptr failure;
};

StreamState& stateOf(void* context) {
    return *static_cast<StreamState*>(static_cast<xmlParserCtxtPtr>(context)->_private);
}

// Runs `step` for a callback; an exception stops the parser and is thrown again after it.
template <typename Step>
void guarded(void* context, Step step) {
    StreamState& state = stateOf(context);
    if (state.failure) return;
    try {
        step(state);
    } catch (...) {
        state.failure = std::current_exception();
        xmlStopParser(static_cast<xmlParserCtxtPtr>(context));
    }
}

void endText(StreamState& state) {
    if (state.textPending && state.textNonBlank) state.handler->otherNode(state.depth + 1, "#text");
    state.textPending = false;
    state.textNonBlank = false;
}

void otherNode(StreamState& state, std::string_view name) {
    endText(state);
    if (state.depth >= 1) state.handler->otherNode(state.depth + 1, name);
}

void onStartElement(void* context, const xmlChar* localName, const xmlChar* prefix, const xmlChar*,
                    int, const xmlChar**, int attributeCount, int defaulted,
                    const xmlChar** attributes) {
    guarded(context, [&](StreamState& state) {
        endText(state);
        ++state.depth;
        state.sawRoot = true;
        std::string_view name(reinterpret_cast<const char*>(localName));
        if (prefix != nullptr) {
            state.name.assign(reinterpret_cast<const char*>(prefix)).append(":").append(name);
            name = state.name;
        }
        // Defaults from a document type are left out, as the tree leaves them out.
        state.handler->element(
            XmlStreamAccess::make(state.depth, name, attributes, attributeCount - defaulted));
    });
}

void onEndElement(void* context, const xmlChar*, const xmlChar*, const xmlChar*) {
    guarded(context, [](StreamState& state) {
        endText(state);
        --state.depth;
    });
}

void onCharacters(void* context, const xmlChar* text, int length) {
    guarded(context, [&](StreamState& state) {
        if (state.depth < 1) return;
        state.textPending = true;
        for (int i = 0; i < length && !state.textNonBlank; ++i) {
            const xmlChar c = text[i];
            state.textNonBlank = c != ' ' && c != '\t' && c != '\n' && c != '\r';
        }
    });
}

void onCdata(void* context, const xmlChar*, int) {
    guarded(context, [](StreamState& state) { otherNode(state, "#cdata-section"); });
}

void onComment(void* context, const xmlChar*) {
    guarded(context, [](StreamState& state) { otherNode(state, "#comment"); });
}

void onProcessingInstruction(void* context, const xmlChar* target, const xmlChar*) {
    guarded(context,
            [&](StreamState& state) { otherNode(state, reinterpret_cast<const char*>(target)); });
}

}  // namespace

void readXmlStream(const std::filesystem::path& path, XmlStreamHandler& handler) {
    FileInput input;
    input.in.open(path, std::ios::binary);
    if (!input.in) failOpening(path);
    std::error_code ec;
    const auto size = std::filesystem::file_size(path, ec);
    if (!ec && size > kMaxDocumentBytes) failTooLarge(path);
    char mark[3] = {};
    input.in.read(mark, 3);
    if (std::string_view(mark, static_cast<std::size_t>(input.in.gcount())) != kByteOrderMark) {
        input.in.clear();
        input.in.seekg(0);
    }
    refuseExternalEntities();

    // The library's own handlers keep the document type and its entities; the nodes come here.
    xmlSAXHandler sax;
    std::memset(&sax, 0, sizeof sax);
    xmlSAXVersion(&sax, 2);
    sax.startElement = nullptr;
    sax.endElement = nullptr;
    sax.startElementNs = onStartElement;
    sax.endElementNs = onEndElement;
    sax.characters = onCharacters;
    sax.ignorableWhitespace = onCharacters;
    sax.cdataBlock = onCdata;
    sax.comment = onComment;
    sax.processingInstruction = onProcessingInstruction;
    sax.reference = nullptr;

    StreamState state;
    state.handler = &handler;
    ParseErrors errors;
    xmlSetStructuredErrorFunc(&errors, captureError);
    xmlParserCtxtPtr ctxt =
        xmlCreateIOParserCtxt(&sax, nullptr, readPiece, nullptr, &input, XML_CHAR_ENCODING_NONE);
    if (ctxt != nullptr) {
        xmlCtxtUseOptions(ctxt, kParseOptions);
        ctxt->_private = &state;
        xmlParseDocument(ctxt);
        if (!ctxt->wellFormed) errors.failed = true;
        if (ctxt->myDoc != nullptr) xmlFreeDoc(ctxt->myDoc);
        ctxt->myDoc = nullptr;
        xmlFreeParserCtxt(ctxt);
    } else {
        errors.failed = true;
    }
    xmlSetStructuredErrorFunc(nullptr, nullptr);

    if (input.tooLarge) failTooLarge(path);
    if (state.failure) std::rethrow_exception(state.failure);
    if (input.failed) failReading(path);
    if (errors.failed || !state.sawRoot) {
        // A fault is rare: the whole file is read again as load() reads it, so that the message
        // is load()'s to the character even where the parser places a fault differently in a
        // stream (beyond its limits on the length of one value, comment or name).
        input.in.close();
        const std::string content = readWholeFile(path);
        XmlDocument().loadFromString(content);
        std::string_view text(content);
        if (text.substr(0, 3) == kByteOrderMark) text.remove_prefix(3);
        failParse(errors, text);
    }
}

// ---- writing markup

namespace {

// The references the serialiser writes in an attribute value; every other byte goes as it is.
struct AttributeEscape {
    char character;
    std::string_view reference;
};
constexpr std::array<AttributeEscape, 7> kAttributeEscapes{{{'<', "&lt;"},
                                                            {'>', "&gt;"},
                                                            {'&', "&amp;"},
                                                            {'"', "&quot;"},
                                                            {'\n', "&#10;"},
                                                            {'\r', "&#13;"},
                                                            {'\t', "&#9;"}}};

}  // namespace

void XmlMarkupWriter::open(std::string_view name) {
    if (inStartTag_) out_ += '>';
    out_.append("<").append(name);
    open_.emplace_back(name);
    inStartTag_ = true;
}

void XmlMarkupWriter::attribute(std::string_view name, std::string_view value) {
    if (holdsNonXmlCharacter(value)) {
        failNonXmlCharacter("value of attribute " + quotedValue(name));
    }
    out_.append(" ").append(name).append("=\"");
    for (const char c : value) {
        const auto* escape =
            std::find_if(kAttributeEscapes.begin(), kAttributeEscapes.end(),
                         [c](const AttributeEscape& e) { return e.character == c; });
        if (escape == kAttributeEscapes.end()) {
            out_ += c;
        } else {
            out_ += escape->reference;
        }
    }
    out_ += '"';
}

void XmlMarkupWriter::close() {
    if (inStartTag_) {
        out_ += "/>";
    } else {
        out_.append("</").append(open_.back()).append(">");
    }
    open_.pop_back();
    inStartTag_ = false;
}

std::string XmlMarkupWriter::take() {
    if (!open_.empty()) throw Error("Element \"" + open_.back() + "\" is still open");
    return std::move(out_);
}

}  // namespace velmora
