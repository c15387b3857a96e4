#include "documents/document_reading.h"

#include "documents/integer_text.h"

namespace velmora {

namespace {

// The value of `text` once it is known to be there.
ReadValue presentValue(std::string text, const ReadPlace& place, ValueKind kind,
                       std::string_view what) {
    ReadValue value{std::move(text), std::nullopt, {ReadStatus::Ok, place, {}}};
    if (kind == ValueKind::Text) return value;
    value.integer = parseIntegerText(*value.text);
    if (!value.integer) {
        value.result.status = ReadStatus::NotInteger;
        value.result.message = std::string(what) + " " + quotedValue(place.name) +
                               " is not an integer: " + quotedValue(*value.text);
    }
    return value;
}

ReadValue missingValue(const ReadPlace& place, std::string_view what) {
    return {std::nullopt,
            std::nullopt,
            {ReadStatus::Missing, place,
             std::string(what) + " " + quotedValue(place.name) + " is missing"}};
}

}  // namespace

ReadValue attributeValue(std::optional<std::string_view> text, const ReadPlace& place,
                         ValueKind kind) {
    ReadValue value;
    readAttributeValue(value, text, place, kind);
    return value;
}

void readAttributeValue(ReadValue& value, std::optional<std::string_view> text,
                        const ReadPlace& place, ValueKind kind) {
    value.integer.reset();
    value.result.place = place;
    value.result.message.clear();
    if (!text) {
        value.text.reset();
        value.result.status = ReadStatus::Missing;
        value.result.message = "attribute " + quotedValue(place.name) + " is missing";
        return;
    }
    if (value.text) {
        value.text->assign(*text);
    } else {
        value.text.emplace(*text);
    }
    value.result.status = ReadStatus::Ok;
    if (kind == ValueKind::Text) return;
    value.integer = parseIntegerText(*value.text);
    if (!value.integer) {
        value.result.status = ReadStatus::NotInteger;
        value.result.message = "attribute " + quotedValue(place.name) +
                               " is not an integer: " + quotedValue(*value.text);
    }
}

ReadValue elementValue(const XmlNode& parent, const ReadPlace& place, ValueKind kind) {
    const auto element = parent.child(place.name);
    if (!element) return missingValue(place, "element");
    std::string text;
    try {
        text = element->text();
    } catch (const Error& e) {
        return {
            std::nullopt,
            std::nullopt,
            {ReadStatus::NotText, place, "element " + quotedValue(place.name) + ": " + e.what()}};
    }
    return presentValue(std::move(text), place, kind, "element");
}

ReadResult notAnElement(const ReadPlace& place, std::string_view nodeName) {
    return {ReadStatus::NotAnElement, place,
            "node " + quotedValue(nodeName) + " is not an element"};
}

void requireReadable(const ReadResult& document) {
    if (document.status == ReadStatus::Unreadable) throw Error(document.message);
}

}  // namespace velmora
