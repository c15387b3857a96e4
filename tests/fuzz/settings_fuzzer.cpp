// A settings file from the input: its first byte gives the length of a project name taken from
// the bytes after it, the rest is the file. The file is read, the name written into it as a
// stream, and reading the result must give the name back.
#include <cstddef>
#include <cstdint>
#include <sstream>

#include "core/error.h"
#include "fuzz_support.h"
#include "workspace/settings_file.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace velmora;
    using namespace velmora::fuzz;
    if (size == 0) return 0;
    const std::string_view input = asText(data + 1, size - 1);
    const std::string_view name = input.substr(0, data[0] % 64);
    const std::string_view text = input.substr(name.size());

    (void)readIniValue(text, "lastproj", "projectname");
    std::istringstream in{std::string(text)};
    std::ostringstream out;
    try {
        writeIniValue(in, out, "lastproj", "projectname", name);
    } catch (const Error&) {
        return 0;  // a name with a line break, or a file in UTF-16
    }
    std::istringstream back(out.str());
    require(readIniValue(back, "lastproj", "projectname") == std::string(name),
            "the settings file reads back the name written");
    return 0;
}
