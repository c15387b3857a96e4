#include "documents/xml_parsing.h"

#include <cerrno>
#include <fstream>

#include "core/atomic_file.h"
#include "core/error.h"
#include "core/path_text.h"
#include "documents/xml_document.h"
#include "documents/xml_text.h"

namespace velmora::xml_internal {

namespace {

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

// External entities and DTDs are never fetched, from the network or from disk.
xmlParserInputPtr refuseExternalEntity(const char*, const char*, xmlParserCtxtPtr) {
    return nullptr;
}

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

}  // namespace

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

[[noreturn]] void failParse(const ParseErrors& errors, std::string_view content) {
    std::string message =
        errors.message.empty() ? "The document is not well-formed XML" : errors.message;
    message += "\nLine: " + std::to_string(errors.line) + "\n" +
               sourceExcerpt(content, errors.line, errors.column);
    throw Error(validUtf8(message));
}

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

[[noreturn]] void failTooLarge(const std::filesystem::path& path) {
    throw Error("The document is larger than " + std::to_string(kMaxDocumentBytes >> 20) +
                " MiB and is not read: " + pathText(path));
}

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

}  // namespace velmora::xml_internal
