#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "core/error.h"
#include "documents/xml_document.h"

// What reading a project document gives, in one shape for the three documents: the document,
// each row and each value with its outcome, so that the dialogs, the composer and the check take
// what they need from one reading instead of reading the document again their own way.
namespace velmora {

// What became of a document, a row or a value when it was read.
enum class ReadStatus {
    Ok,
    Missing,       // the document, list, element or attribute is absent
    NotText,       // an element's content is not a single text
    NotInteger,    // a text that has to be an integer text is not one
    NotAnElement,  // a child where a row is expected is a node of another kind
    OutOfRange,    // an integer that its place cannot take (a node position below 1)
    NoNodes,       // a register row without a DeviceNet list to place it on
    Unreadable,    // the document cannot be read or is not well-formed XML
};

// Where something stands within its document.
struct ReadPlace {
    std::string_view list;  // the list element holding the row ("Modbus_Read"), or empty
    std::size_t row = 0;    // among the children of its list (or the root), from 1; 0 for none
    std::string_view name;  // the element or attribute, or empty for a whole row or document

    bool operator==(const ReadPlace&) const = default;
};

// The outcome of reading one thing: its status, its place and, unless it is Ok, what failed, in
// words that follow the document and the row in a message ("attribute \"ID\" is missing"). For
// an unreadable document the message is the parser's text.
struct ReadResult {
    ReadStatus status = ReadStatus::Ok;
    ReadPlace place;
    std::string message;

    bool ok() const { return status == ReadStatus::Ok; }
    bool operator==(const ReadResult&) const = default;
};

// One value as read: its raw text (none when absent or not a single text), the text taken as an
// integer text when the value is a number and the text is one, and the outcome.
struct ReadValue {
    std::optional<std::string> text;
    std::optional<std::int32_t> integer;
    ReadResult result;

    bool ok() const { return result.ok(); }
};

// Whether a value is kept as text or has to be an integer text.
enum class ValueKind { Text, Integer };

// The value of an attribute whose text is `text` (none when absent), at `place`.
ReadValue attributeValue(std::optional<std::string_view> text, const ReadPlace& place,
                         ValueKind kind);
// The same into `value`, reusing what it holds: readers of long lists read every row into one.
void readAttributeValue(ReadValue& value, std::optional<std::string_view> text,
                        const ReadPlace& place, ValueKind kind);

// The value of the first child element of `parent` named place.name, at `place`.
ReadValue elementValue(const XmlNode& parent, const ReadPlace& place, ValueKind kind);

// A child of kind `nodeName` standing where a row is expected.
ReadResult notAnElement(const ReadPlace& place, std::string_view nodeName);

// The outcome of a document: Missing when there is no plain file at `file`, Unreadable with the
// error's text when `read` throws velmora::Error, otherwise Ok.
template <typename Read>
ReadResult readDocumentFile(const std::filesystem::path& file, Read read) {
    if (!XmlDocument::fileExists(file)) return {ReadStatus::Missing, {}, {}};
    try {
        read(file);
    } catch (const Error& e) {
        return {ReadStatus::Unreadable, {}, e.what()};
    }
    return {};
}

// Throws velmora::Error with the parser's text when `document` could not be read.
void requireReadable(const ReadResult& document);

}  // namespace velmora
