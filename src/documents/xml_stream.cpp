#include "documents/xml_document.h"

#include <libxml/SAX2.h>
#include <libxml/parser.h>
#include <libxml/parserInternals.h>
#include <libxml/tree.h>

#include <cstring>
#include <exception>
#include <fstream>
#include <system_error>

#include "documents/xml_parsing.h"

namespace velmora {

using xml_internal::captureError;
using xml_internal::failOpening;
using xml_internal::failParse;
using xml_internal::failReading;
using xml_internal::failTooLarge;
using xml_internal::kByteOrderMark;
using xml_internal::kParseOptions;
using xml_internal::ParseErrors;
using xml_internal::readWholeFile;
using xml_internal::refuseExternalEntities;

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

}  // namespace velmora
