#pragma once

#include <libxml/parser.h>
#include <libxml/xmlerror.h>

#include <filesystem>
#include <string>
#include <string_view>

// What the tree and the stream reader share about parsing: reading the file, the parser's
// options, and the capture of its first error. Only src/documents/xml_*.cpp include it.
namespace velmora::xml_internal {

// The first error the parser raised, with its position.
struct ParseErrors {
    bool failed = false;
    std::string message;
    int line = 0;
    int column = 0;
};

// Keeps the first serious error in the ParseErrors that `user` points to; the structured error
// handler of a parse.
#if LIBXML_VERSION >= 21200
void captureError(void* user, const xmlError* error);
#else
void captureError(void* user, xmlErrorPtr error);
#endif

// The parser's first error with its line and up to 40 characters of `content` from its place.
[[noreturn]] void failParse(const ParseErrors& errors, std::string_view content);

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";
constexpr int kParseOptions = XML_PARSE_NONET | XML_PARSE_NOENT;

// Makes sure that external entities and DTDs are never fetched, from the network or from disk.
void refuseExternalEntities();

// The system's reason the file at `path` cannot be opened.
[[noreturn]] void failOpening(const std::filesystem::path& path);
// An input error while reading the file at `path`.
[[noreturn]] void failReading(const std::filesystem::path& path);
// No project comes near this size; a larger file would cost gigabytes before the parser gives up.
[[noreturn]] void failTooLarge(const std::filesystem::path& path);

// The whole content of the file at `path`.
std::string readWholeFile(const std::filesystem::path& path);

}  // namespace velmora::xml_internal
