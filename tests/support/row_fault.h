#pragma once

#include <cstddef>
#include <optional>
#include <string>

#include "documents/document_reading.h"

namespace velmora::test {

// A row's fault as a table of cases names it: its row and what failed there.
struct RowFault {
    std::size_t row = 0;
    std::string what;
    bool operator==(const RowFault&) const = default;
};

// The row and message of a reading's fault.
inline std::optional<RowFault> rowFault(const std::optional<ReadResult>& fault) {
    if (!fault) return std::nullopt;
    return RowFault{fault->place.row, fault->message};
}

}  // namespace velmora::test
