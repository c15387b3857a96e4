#include "documents/row_reading.h"

#include "core/error.h"
#include "documents/integer_text.h"
#include "documents/xml_document.h"

namespace velmora {

std::string_view requiredAttribute(const XmlStreamElement& row, std::string_view name) {
    const auto text = row.attribute(name);
    if (!text) throw Error("attribute " + quotedValue(name) + " is missing");
    return *text;
}

std::int32_t integerAttribute(const XmlStreamElement& row, std::string_view name) {
    const std::string_view text = requiredAttribute(row, name);
    const auto value = parseIntegerText(text);
    if (!value)
        throw Error("attribute " + quotedValue(name) + " is not an integer: " + quotedValue(text));
    return *value;
}

std::string notAnElement(std::string_view nodeName) {
    return "node " + quotedValue(nodeName) + " is not an element";
}

}  // namespace velmora
