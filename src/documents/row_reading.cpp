#include "documents/row_reading.h"

#include "core/error.h"
#include "documents/integer_text.h"

namespace velmora {

namespace {

std::string inQuotes(std::string_view text) { return "\"" + std::string(text) + "\""; }

}  // namespace

std::string_view requiredAttribute(const XmlStreamElement& row, std::string_view name) {
    const auto text = row.attribute(name);
    if (!text) throw Error("attribute " + inQuotes(name) + " is missing");
    return *text;
}

std::int32_t integerAttribute(const XmlStreamElement& row, std::string_view name) {
    const std::string_view text = requiredAttribute(row, name);
    const auto value = parseIntegerText(text);
    if (!value)
        throw Error("attribute " + inQuotes(name) + " is not an integer: " + inQuotes(text));
    return *value;
}

std::string notAnElement(std::string_view nodeName) {
    return "node " + inQuotes(nodeName) + " is not an element";
}

}  // namespace velmora
