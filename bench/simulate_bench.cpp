// A Modbus TCP master's round trip to `velmora-cli simulate`, alone and while other connections
// hold half a frame each (an MBAP header without its request), as a stalled or slow peer does.
// The two figures should be alike: no connection waits for another's frame to complete.
#include <arpa/inet.h>
#include <benchmark/benchmark.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

// The simulator serving a one-node project on a free port, for the whole run.
class Simulator {
public:
    Simulator() {
        dir_ = fs::temp_directory_path() / ("velmora-simulate-bench-" + std::to_string(::getpid()));
        fs::create_directories(dir_ / "bin");
        write("pargen.xml",
              "<Par_Gen><DNET_DEV_ID>20</DNET_DEV_ID><DNET_BAUD>2</DNET_BAUD><Ser_Baud>7</Ser_Baud>"
              "<Ser_Par>0</Ser_Par><Ser_ID>1</Ser_ID><Ser_Type>1</Ser_Type><Ser_Prot>0</Ser_Prot>"
              "<HW_Type>0</HW_Type></Par_Gen>");
        write("DNET_Net.xml",
              R"(<DNET_Net><row ID="1" NB_IN="2" NB_OUT="2" Mnemonic=""/></DNET_Net>)");
        write("DefReg.xml",
              R"(<InfoMod><Modbus_Read><row Index="0" NrDNNode="1" PosComp="65538"/></Modbus_Read>)"
              R"(<Modbus_Write/></InfoMod>)");
        int out[2];
        if (::pipe(out) != 0) std::abort();
        pid_ = ::fork();
        if (pid_ == 0) {
            ::dup2(out[1], STDOUT_FILENO);
            ::close(out[0]);
            const std::string project = dir_.string();
            const std::string log = (dir_ / "log").string();
            ::execl(VELMORA_CLI_PATH, VELMORA_CLI_PATH, "simulate", project.c_str(), "--tcp",
                    "127.0.0.1:0", "--log", log.c_str(), static_cast<char*>(nullptr));
            ::_exit(127);
        }
        ::close(out[1]);
        std::string line;
        char c = 0;
        while (::read(out[0], &c, 1) == 1 && c != '\n') line += c;
        ::close(out[0]);
        port_ = std::stoi(line.substr(line.rfind(':') + 1));
    }
    ~Simulator() {
        ::kill(pid_, SIGTERM);
        ::waitpid(pid_, nullptr, 0);
        fs::remove_all(dir_);
    }
    int port() const { return port_; }

private:
    void write(const char* name, const std::string& text) { std::ofstream(dir_ / name) << text; }
    fs::path dir_;
    pid_t pid_ = -1;
    int port_ = 0;
};

Simulator& simulator() {
    static Simulator instance;
    return instance;
}

int connectTo(int port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    const int yes = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &yes, sizeof yes);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) std::abort();
    return fd;
}

// state.range(0): connections holding half a frame while the master polls.
void BM_RoundTripBesideStalledPeers(benchmark::State& state) {
    const int port = simulator().port();
    std::vector<int> stalled;
    for (int i = 0; i < state.range(0); ++i) {
        stalled.push_back(connectTo(port));
        const std::uint8_t header[] = {0, 1, 0, 0, 0, 6, 1};
        ::send(stalled.back(), header, sizeof header, 0);
    }
    const int master = connectTo(port);
    const std::uint8_t request[] = {0, 1, 0, 0, 0, 6, 1, 3, 0, 0, 0, 1};
    std::array<std::uint8_t, 11> answer{};
    for (auto _ : state) {
        ::send(master, request, sizeof request, 0);
        std::size_t got = 0;
        while (got < answer.size()) {
            pollfd p{master, POLLIN, 0};
            if (::poll(&p, 1, 5000) <= 0) {
                state.SkipWithError("no answer within 5 s");
                break;
            }
            const ssize_t n = ::recv(master, answer.data() + got, answer.size() - got, 0);
            if (n <= 0) {
                state.SkipWithError("the simulator closed the connection");
                break;
            }
            got += static_cast<std::size_t>(n);
        }
        if (got < answer.size()) break;
    }
    ::close(master);
    for (const int fd : stalled) ::close(fd);
}
BENCHMARK(BM_RoundTripBesideStalledPeers)->Arg(0)->Arg(4)->Arg(16)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
