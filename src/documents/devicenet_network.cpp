#include "documents/devicenet_network.h"

#include "core/atomic_file.h"
#include "core/error.h"
#include "documents/integer_text.h"

namespace velmora {

namespace {

// The range check of one numeric field and the end of its message.
struct FieldCheck {
    DNetField field;
    std::int32_t max;
    std::string_view message;
};

// Checked in this order within a row; the minimum is 0 for all three.
constexpr std::array<FieldCheck, 3> kFieldChecks = {{
    {kDNetId, 63, "!! ID must be 0 or 63. "},
    {kDNetBytesIn, kDNetMaxNodeBytes, "!! Number Byte IN must be 0 or 455. "},
    {kDNetBytesOut, kDNetMaxNodeBytes, "!! Number Byte OUT must be 0 or 455. "},
}};

std::string rowError(std::size_t number, std::string_view what) {
    return "Row " + std::to_string(number) + " of the DeviceNet network " + std::string(what);
}

}  // namespace

namespace {

// Takes every child of the root as a row until the limit is reached.
class NetworkReader : public XmlStreamHandler {
public:
    explicit NetworkReader(std::size_t limit) : limit_(limit) {}

    void element(const XmlStreamElement& element) override {
        if (element.depth() != 2 || rows_.size() >= limit_) return;
        DNetRowReading& row = rows_.emplace_back();
        const std::size_t number = rows_.size();
        row.row.place.row = number;
        for (std::size_t field = 0; field < kDNetFieldCount; ++field) {
            const std::string_view name = kDNetAttributes[field];
            row.values[field] =
                attributeValue(element.attribute(name), ReadPlace{{}, number, name},
                               field == kDNetMnemonic ? ValueKind::Text : ValueKind::Integer);
        }
    }
    void otherNode(int depth, std::string_view name) override {
        if (depth != 2 || rows_.size() >= limit_) return;
        rows_.emplace_back().row = notAnElement(ReadPlace{{}, rows_.size() + 1, {}}, name);
    }

    std::vector<DNetRowReading> take() { return std::move(rows_); }

private:
    std::size_t limit_;
    std::vector<DNetRowReading> rows_;
};

}  // namespace

DNetNetworkReading readDNetNetworkDocument(const std::filesystem::path& path, std::size_t limit) {
    DNetNetworkReading reading;
    NetworkReader reader(limit);
    reading.document = readDocumentFile(
        path, [&reader](const std::filesystem::path& file) { readXmlStream(file, reader); });
    reading.rows = reader.take();
    return reading;
}

DNetNetworkRead dnetNetworkRead(const DNetNetworkReading& reading) {
    DNetNetworkRead read;
    for (const DNetRowReading& child : reading.rows) {
        const std::size_t number = child.row.place.row;
        if (!child.row.ok()) {
            read.error = rowError(number, "is not an element");
            return read;
        }
        DNetRow& row = read.rows.emplace_back();
        for (std::size_t field = 0; field < kDNetFieldCount; ++field) {
            const std::optional<std::string>& value = child.values[field].text;
            if (!value) {
                read.error = rowError(
                    number, "has no attribute \"" + std::string(kDNetAttributes[field]) + "\"");
                return read;
            }
            row[field] = *value;
        }
    }
    return read;
}

DNetNetworkRead readDNetNetworkFile(const std::filesystem::path& path) {
    const DNetNetworkReading reading = readDNetNetworkDocument(path, kDNetMaxNodes);
    requireReadable(reading.document);
    return dnetNetworkRead(reading);
}

std::size_t dnetNodeCount(const std::vector<DNetRow>& rows) {
    std::size_t count = 0;
    while (count < rows.size() && count < kDNetMaxNodes && !rows[count][kDNetId].empty()) ++count;
    return count;
}

std::vector<DNetProblem> dnetNetworkProblems(const std::vector<DNetRow>& rows) {
    std::vector<DNetProblem> problems;
    const std::size_t count = dnetNodeCount(rows);
    std::int32_t sumIn = 0;
    std::int32_t sumOut = 0;
    for (std::size_t i = 0; i < count; ++i) {
        for (const FieldCheck& check : kFieldChecks) {
            const std::int32_t value = integerTextOr(rows[i][check.field]);
            if (value < 0 || value > check.max) {
                problems.push_back(
                    {i + 1, "Error in row " + std::to_string(i + 1) + std::string(check.message),
                     check.field, value, check.max});
            } else if (check.field == kDNetBytesIn) {
                // At most 64 rows of at most 455 bytes: the sums cannot overflow.
                sumIn += value;
            } else if (check.field == kDNetBytesOut) {
                sumOut += value;
            }
        }
    }
    if (sumIn > kDNetMaxByteSum) {
        problems.push_back({0, "Error!! Number of Byte IN must be under 6000. ", kDNetBytesIn,
                            sumIn, kDNetMaxByteSum});
    }
    if (sumOut > kDNetMaxByteSum) {
        problems.push_back({0, "Error!! Number of Byte OUT must be under 6000. ", kDNetBytesOut,
                            sumOut, kDNetMaxByteSum});
    }
    return problems;
}

std::optional<std::string> checkDNetNetwork(const std::vector<DNetRow>& rows) {
    // The dialog stops at the first failure: with any row failing, the sums are never shown.
    std::vector<DNetProblem> problems = dnetNetworkProblems(rows);
    if (problems.empty()) return std::nullopt;
    return std::move(problems.front().message);
}

std::string dnetNetworkDocument(const std::vector<DNetRow>& rows) {
    XmlMarkupWriter out;
    out.open(kDNetRootElement);
    const std::size_t count = dnetNodeCount(rows);
    for (std::size_t i = 0; i < count; ++i) {
        out.open(kDNetRowElement);
        for (std::size_t field = 0; field < kDNetFieldCount; ++field) {
            try {
                out.attribute(kDNetAttributes[field], rows[i][field]);
            } catch (const Error&) {
                throw Error(rowError(
                    i + 1, "cannot be stored: its \"" + std::string(kDNetAttributes[field]) +
                               "\" value holds a character that XML does not allow"));
            }
        }
        out.close();
    }
    out.close();
    return out.take();
}

void writeDNetNetworkFile(const std::filesystem::path& path, const std::vector<DNetRow>& rows) {
    writeFileAtomically(path, dnetNetworkDocument(rows));
}

DNetNodeRows dnetNodeRows(const DNetNetworkReading& reading) {
    DNetNodeRows nodes;
    for (const DNetRowReading& child : reading.rows) {
        if (!child.row.ok()) {
            nodes.fault = child.row;
            return nodes;
        }
        const auto& values = child.values;
        for (const DNetField field : {kDNetId, kDNetBytesIn, kDNetBytesOut}) {
            if (!values[field].ok()) {
                nodes.fault = values[field].result;
                return nodes;
            }
        }
        nodes.rows.push_back({*values[kDNetId].integer, *values[kDNetBytesIn].integer,
                              *values[kDNetBytesOut].integer, *values[kDNetId].text,
                              *values[kDNetBytesIn].text, *values[kDNetBytesOut].text});
    }
    return nodes;
}

DNetNodeRows readDNetNodeRows(const std::filesystem::path& path, std::size_t limit) {
    const DNetNetworkReading reading = readDNetNetworkDocument(path, limit);
    requireReadable(reading.document);
    return dnetNodeRows(reading);
}

}  // namespace velmora
