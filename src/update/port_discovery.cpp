#include "update/port_discovery.h"

#include <algorithm>
#include <cstddef>

namespace velmora::ui {

namespace {

bool isDigit(char c) { return c >= '0' && c <= '9'; }

// The end of the run of digits that starts at `i`.
std::size_t digitsEnd(const std::string& s, std::size_t i) {
    while (i < s.size() && isDigit(s[i])) ++i;
    return i;
}

// Compares the numbers written in s[i, end) and t[j, tend) digit by digit, so that no run is too
// long to compare: -1, 0 or 1.
int compareNumbers(const std::string& s, std::size_t i, std::size_t end, const std::string& t,
                   std::size_t j, std::size_t tend) {
    while (i < end && s[i] == '0') ++i;
    while (j < tend && t[j] == '0') ++j;
    if (end - i != tend - j) return end - i < tend - j ? -1 : 1;
    const int c = s.compare(i, end - i, t, j, tend - j);
    return (c > 0) - (c < 0);
}

}  // namespace

bool naturalLess(const std::string& a, const std::string& b) {
    std::size_t i = 0;
    std::size_t j = 0;
    while (i < a.size() && j < b.size()) {
        if (isDigit(a[i]) && isDigit(b[j])) {
            const std::size_t ae = digitsEnd(a, i);
            const std::size_t be = digitsEnd(b, j);
            if (const int c = compareNumbers(a, i, ae, b, j, be); c != 0) return c < 0;
            i = ae;
            j = be;
        } else {
            if (a[i] != b[j]) {
                return static_cast<unsigned char>(a[i]) < static_cast<unsigned char>(b[j]);
            }
            ++i;
            ++j;
        }
    }
    if (i < a.size() || j < b.size()) return j < b.size();
    // Equal but for leading zeros ("ttyS01", "ttyS1"): the plain order keeps the order strict.
    return a < b;
}

int comPortProbeBound(bool ntFamily) { return ntFamily ? 256 : 9; }

std::vector<std::string> EnumerateComPorts(const PortLister& lister) {
    std::vector<std::string> names = lister();
    std::stable_sort(names.begin(), names.end(), naturalLess);
    return names;
}

}  // namespace velmora::ui
