#include <iostream>
#include <string>
#include <vector>

#include "cli/cli.h"

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <windows.h>
// after windows.h, whose types it uses
#include <shellapi.h>

namespace {

// The UTF-8 text of `wide`.
std::string utf8(const wchar_t* wide) {
    const int size = WideCharToMultiByte(CP_UTF8, 0, wide, -1, nullptr, 0, nullptr, nullptr);
    std::string text(size > 0 ? static_cast<std::size_t>(size) : 1, '\0');
    WideCharToMultiByte(CP_UTF8, 0, wide, -1, text.data(), size, nullptr, nullptr);
    text.resize(text.size() - 1);
    return text;
}

// The arguments after the program name in UTF-8: the narrow argv holds the ANSI code page,
// which cannot name a folder such as "试验".
std::vector<std::string> utf8Arguments() {
    int count = 0;
    wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &count);
    std::vector<std::string> args;
    for (int i = 1; wide && i < count; ++i) args.push_back(utf8(wide[i]));
    LocalFree(wide);
    return args;
}

}  // namespace

int main() {
    SetConsoleOutputCP(CP_UTF8);
    // An image read from standard input is binary: no CR LF translation, no stop at Ctrl+Z.
    _setmode(_fileno(stdin), _O_BINARY);
    return velmora::cli::runCli(utf8Arguments(), std::cout, std::cerr);
}

#else

int main(int argc, char** argv) {
    const std::vector<std::string> args(argv + (argc > 0 ? 1 : 0), argv + argc);
    return velmora::cli::runCli(args, std::cout, std::cerr);
}

#endif
