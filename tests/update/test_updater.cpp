// A stand-in for the updater program, for tests. Beside itself it writes:
//   <own path>.args  its arguments, one per line (rewritten at every run);
//   <own path>.runs  one line per run (appended);
//   <own path>.bank  the bytes of bank.bin in the folder named by its last argument, when there;
//   <own path>.stdin "null" when its standard input is /dev/null, "other" when not (POSIX).
// VELMORA_TEST_UPDATER_READ_STDIN makes it then read its standard input to the end;
// VELMORA_TEST_UPDATER_LINGER_MS makes it stay that long after recording; its exit status is
// VELMORA_TEST_UPDATER_EXIT (0 when unset).
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <iterator>
#include <limits>
#include <string>
#include <thread>

#ifndef _WIN32
#include <sys/stat.h>
#endif

int main(int argc, char** argv) {
    const std::string self = argv[0];
    {
        std::ofstream args(self + ".args", std::ios::binary | std::ios::trunc);
        for (int i = 1; i < argc; ++i) args << argv[i] << '\n';
    }
    std::ofstream(self + ".runs", std::ios::binary | std::ios::app) << "run\n";
    if (argc > 1) {
        std::ifstream bank(std::string(argv[argc - 1]) + "bank.bin", std::ios::binary);
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
