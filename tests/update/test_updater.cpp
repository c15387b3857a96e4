// A stand-in for the updater program, for tests. Beside itself it writes:
//   <own path>.args  its arguments, one per line (rewritten at every run);
//   <own path>.runs  one line per run (appended);
//   <own path>.bank  the bytes of bank.bin in the folder named by its last argument, when there;
//   <own path>.cmdline  on Windows, the command line exactly as the process received it (UTF-8);
//   <own path>.stdin "null" when its standard input is /dev/null, "other" when not (POSIX).
// VELMORA_TEST_UPDATER_READ_STDIN makes it then read its standard input to the end;
// VELMORA_TEST_UPDATER_LINGER_MS makes it stay that long after recording; its exit status is
// VELMORA_TEST_UPDATER_EXIT (0 when unset).
#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <iterator>
#include <limits>
#include <string>
#include <thread>

#ifdef _WIN32
#include <windows.h>
#else
#include <sys/stat.h>
#endif

int main(int argc, char** argv) {
    const std::string self = argv[0];
    {
        std::ofstream args(self + ".args", std::ios::binary | std::ios::trunc);
        for (int i = 1; i < argc; ++i) args << argv[i] << '\n';
    }
    std::ofstream(self + ".runs", std::ios::binary | std::ios::app) << "run\n";
    std::string folder = argc > 1 ? argv[argc - 1] : "";
#ifdef _WIN32
    const std::wstring wide = GetCommandLineW();
    std::string line(
        static_cast<std::size_t>(WideCharToMultiByte(
            CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), nullptr, 0, nullptr, nullptr)),
        '\0');
    WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), line.data(),
                        static_cast<int>(line.size()), nullptr, nullptr);
    std::ofstream(self + ".cmdline", std::ios::binary | std::ios::trunc) << line;
    // The arguments as the updater's line is built: blank-separated words and quoted pieces,
    // with no escapes (the C library's reading would take "\"" at the end for a quote).
    {
        std::ofstream args(self + ".args", std::ios::binary | std::ios::trunc);
        std::size_t i = 0;
        for (bool program = true; i < line.size(); program = false) {
            while (i < line.size() && line[i] == ' ') ++i;
            if (i == line.size()) break;
            std::string word;
            if (line[i] == '"') {
                const std::size_t close = line.find('"', i + 1);
                word = line.substr(i + 1, close == std::string::npos ? close : close - i - 1);
                i = close == std::string::npos ? line.size() : close + 1;
            } else {
                const std::size_t end = std::min(line.find(' ', i), line.size());
                word = line.substr(i, end - i);
                i = end;
            }
            if (!program) args << word << '\n';
        }
    }
    // The line ends in "...\bin\"": the C library reads that backslash as escaping the quote,
    // so the folder is taken from the line itself, between its last two quotes.
    if (const auto close = line.rfind('"'); close != std::string::npos && close > 0) {
        if (const auto open = line.rfind('"', close - 1); open != std::string::npos) {
            folder = line.substr(open + 1, close - open - 1);
        }
    }
#endif
    if (!folder.empty()) {
        std::ifstream bank(folder + "bank.bin", std::ios::binary);
        if (bank) {
            std::ofstream(self + ".bank", std::ios::binary | std::ios::trunc)
                << std::string(std::istreambuf_iterator<char>(bank), {});
        }
    }
#ifndef _WIN32
    {
        struct stat in {
        }, null{};
        const bool isNull = fstat(0, &in) == 0 && stat("/dev/null", &null) == 0 &&
                            in.st_dev == null.st_dev && in.st_ino == null.st_ino;
        std::ofstream(self + ".stdin", std::ios::binary | std::ios::trunc)
            << (isNull ? "null" : "other");
    }
#endif
    if (std::getenv("VELMORA_TEST_UPDATER_READ_STDIN")) {
        std::cin.ignore(std::numeric_limits<std::streamsize>::max());
    }
    if (const char* linger = std::getenv("VELMORA_TEST_UPDATER_LINGER_MS")) {
        std::this_thread::sleep_for(std::chrono::milliseconds(std::atoll(linger)));
    }
    const char* status = std::getenv("VELMORA_TEST_UPDATER_EXIT");
    return status ? std::atoi(status) : 0;
}
