#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "documents/xml_document.h"

namespace velmora {

// A row of a list that could not be read: its number among the list's children (from 1) and what
// failed there, in words that follow the document and the row in a message.
struct RowFault {
    std::size_t row = 0;
    std::string what;
    bool operator==(const RowFault&) const = default;
};

// The text of the row's attribute `name`; throws Error("attribute \"name\" is missing").
std::string_view requiredAttribute(const XmlStreamElement& row, std::string_view name);

// The same taken as an integer text; throws Error("attribute \"name\" is not an integer: \"text\"")
// when it is not one.
std::int32_t integerAttribute(const XmlStreamElement& row, std::string_view name);

// What a child that is not an element fails with where a row is expected.
std::string notAnElement(std::string_view nodeName);

}  // namespace velmora
