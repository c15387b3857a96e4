#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <limits>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <tuple>
#include <utility>
#include <vector>

#include "core/error.h"
#include "documents/comm_settings.h"
#include "documents/document_reading.h"
#include "documents/register_map.h"
#include "image/project_check.h"

// What the project check's files share: the problem list and the checker, whose checks of each
// document sit in a file of their own. Only src/image/project_check*.cpp include it.
namespace velmora::project_check_internal {

// The row of a problem that stands for a whole node: after every row of its list.
constexpr std::size_t kNodePlaceRow = std::numeric_limits<std::size_t>::max();

// The problems found so far, with what orders them.
class Problems {
public:
    // Adds a problem (`row` 0 for none); the same problem met twice is kept once.
    void add(Severity severity, std::string_view document, std::string_view list, std::size_t row,
             std::string place, std::string_view code, std::string message);

    // Adds a problem of row `row` of `list`, a row naming node `node`. The very same problem on
    // later rows of that list and node is told once, at its first row, which counts them; it
    // then says `groupMessage` where that is given.
    void addOnNode(Severity severity, std::string_view document, std::string_view list,
                   std::size_t row, std::int32_t node, std::string_view code, std::string message,
                   std::string groupMessage = {});

    // The problems by document, list, row, and then in the order they were added.
    std::vector<ProjectProblem> ordered();

private:
    struct Entry {
        int document;
        int list;
        std::size_t row;
        std::size_t sequence;
        ProjectProblem problem;
        std::size_t lastRow = 0;   // the last row told with it, for a problem on a node
        std::string groupMessage;  // what it says for several rows, when not its message
    };
    using NodeProblem =
        std::tuple<Severity, std::string, std::string, std::string, std::int32_t, std::string>;

    static int rankOf(std::string_view name);

    std::vector<Entry> entries_;
    std::set<std::tuple<Severity, std::string, std::string, std::string>> told_;
    std::map<NodeProblem, std::size_t> onNode_;  // the entry of each problem on a node
};

// One child of the root of DNET_Net.xml as the composer reads it: a value that is missing or is
// not an integer text is empty.
struct NodeValues {
    std::optional<std::int32_t> id;
    std::optional<std::int32_t> bytesIn;
    std::optional<std::int32_t> bytesOut;
};

// One side of the register map in the check's words: its list, the byte count of a node that
// it reads or writes, and which bytes those are.
struct MapSideNames {
    const char* list;       // "Modbus_Read"
    const char* countName;  // "NB_OUT"
    std::optional<std::int32_t> NodeValues::*count;
    std::string_view direction;  // "output"
};

// A byte of a node: its position (from 1) and the byte (from 1).
using NodeByte = std::pair<std::int32_t, std::int32_t>;

// The check of one project folder, run once.
class ProjectChecker {
public:
    explicit ProjectChecker(const std::filesystem::path& dir) : dir_(dir) {}

    std::vector<ProjectProblem> run();

private:
    bool exists(std::string_view document) const;

    // Whether a document's reading can be checked; when it cannot, tells why: it is missing
    // (`consequence` says what the image lacks then) or cannot be read.
    bool usable(std::string_view document, const ReadResult& reading, std::string_view consequence);

    // What makes composing fail, in the composer's words: the first such fault.
    void compose();

    // An error of a document's reading; the document is then known to be faulty.
    void readingError(std::string_view document, std::string_view list, std::size_t row,
                      std::string place, std::string_view code, std::string message);

    // A fault of a value that a reading met, in the reading's words.
    void valueError(std::string_view document, const ReadResult& fault, std::string place);

    // A problem of row `row` of a list of DefReg.xml, a row on node `node` (see
    // Problems::addOnNode); an error makes the document faulty.
    void rowProblem(Severity severity, const char* listName, std::size_t row, std::int32_t node,
                    std::string_view code, std::string message, std::string groupMessage = {});
    // A fault of a value of such a row, in the reading's words.
    void rowFault(const char* listName, std::int32_t node, const ReadResult& fault);

    // pargen.xml.
    void checkSettings();
    // Each value chosen from a list, as the composer reads it, must stand in that list: the
    // device reads a value outside it as an unknown setting.
    void checkListPositions(const CommSettingsReading& reading);

    // DNET_Net.xml; fills nodes_.
    void checkNetwork();

    // DefReg.xml, against nodes_.
    void checkMap();
    // The byte count of node `position` (from 1) on one side; none when it cannot be read or the
    // network is not known.
    std::optional<std::int32_t> byteCount(std::int32_t position,
                                          std::optional<std::int32_t> NodeValues::*count) const;
    void checkSide(const RegisterListReading& list, const MapSideNames& side);
    // The byte choices of row `row` of `side`, a row on node `node`; `rowOfByte` holds the row
    // first carrying each (node, byte).
    void checkChoices(const MapSideNames& side, std::size_t row, std::int32_t node,
                      PosCompChoices choices, std::map<NodeByte, std::size_t>& rowOfByte);
    // Per node, the bytes of one side that no register carries, as ranges.
    void reportUncarried(const MapSideNames& side, const std::map<NodeByte, std::size_t>& used);

    std::filesystem::path dir_;
    Problems problems_;
    std::optional<DocumentError> composeFault_;
    std::set<std::string, std::less<>> faultyDocuments_;
    std::optional<std::int32_t> gatewayId_;
    std::vector<NodeValues> nodes_;
    // DNET_Net.xml cannot be read: no image composes, and nothing is known of the nodes that
    // register rows name.
    bool networkUnknown_ = false;
};

}  // namespace velmora::project_check_internal
