// Serving dumps over loopback with `platdump serve`, against `platdump
// offload` of the same dump in the same run. Two complete system dumps of
// 64 MiB of nodal data and 64 MiB of main store (two regions, read by the
// DMA engine) each; every download asks for main store, as a logged-in user
// (HTTP Basic, one crypt(3) check per request). The clients are curl
// processes, as a user runs them. Counters:
//   singleDownload (each iteration: one offload to a file and one download
//   of the same stream to a file in the same directory, in turns first; the
//   download's client is this program's, a plain HTTP/1.1 GET whose body is
//   received and written 1 MiB at a time and flushed to the disk at the end,
//   as the offload writes its file)
//     offload_MiBps, download_MiBps, download_vs_offload (>= 0.8 wanted)
//   curlToFile (the same with curl as the client, which does not flush its
//   file to the disk, and whose 16 KiB writes cost about twice the
//   processor time of the whole offload: this measures curl more than the
//   server)
//     offload_MiBps, curl_MiBps, curl_vs_offload
//     server_rss_kib, server_hwm_kib   the server's resident and peak
//                                      resident set after the case
//   concurrent16 (each iteration: one curl download alone, then 16 at once,
//   8 of each dump; to /dev/null)
//     one_MiBps, aggregate_MiBps, aggregate_vs_one (>= 0.8 wanted)
//     server_rss_kib, server_hwm_kib   (16 connections hold at most 1 MiB
//                                      of stream each)
// Every byte downloaded is checked against the offload once, untimed.
//
// Mode for scripts/serve-resume.sh, on the current simulation root:
//   serve_bench --dump ID MAIN_STORE_MIB   lays out the machine and makes
//   one complete system dump of 16 MiB of nodal data and MAIN_STORE_MIB of
//   main store in one region, then exits
#include <benchmark/benchmark.h>
#include <arpa/inet.h>
#include <crypt.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <functional>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "bench/benchDump.h"
#include "bench/benchSupport.h"
#include "platform/sim/platsim.h"

namespace {

using namespace benchsupport;

constexpr uint64_t MiB = 1u << 20;
constexpr unsigned kFirst = 0x1A, kSecond = 0x1B;
constexpr uint64_t kRegionSpacing = 64 * MiB;

pid_t spawn(const std::vector<std::string>& argv, const std::string& err = "/dev/null") {
    pid_t pid = ::fork();
    if (pid == 0) {
        int o = ::open("/dev/null", O_WRONLY), e = ::open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        ::dup2(o, 1);
        ::dup2(e, 2);
        std::vector<char*> ptrs;
        for (const std::string& a : argv) ptrs.push_back(const_cast<char*>(a.c_str()));
        ptrs.push_back(nullptr);
        ::execvp(ptrs[0], ptrs.data());
        ::_exit(127);
    }
    return pid;
}

int waitFor(pid_t pid) {
    int status = 0;
    ::waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128;
}

std::string readText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

// The registry values an extraction of main store by the DMA engine reads.
void extractableMachine() {
    platsim::setRegistry("svpd/Raw_MachineSerialNumber", "BENCH01");
    platsim::setRegistry("menu/HypMode", std::string(1, '\0'));
    platsim::setRegistry("iplp/SysOpMode", std::string(1, '\x02'));
    std::string state(0x38, '\0');
    putBe(state, 0, 11, 4);  // main store read by the DMA engine
    platsim::setRegistry("smgr/StateData", state);
}

// The root with both dumps and a running server, made once per process.
struct Setup {
    Setup() {
        dir = newSimulationRoot();
        extractableMachine();
        platsim::setMainStoreSize(6 * kRegionSpacing);
        makeDump(kFirst, 64 * MiB, 2, 32 * MiB, 1 * kRegionSpacing, kRegionSpacing);
        makeDump(kSecond, 64 * MiB, 2, 32 * MiB, 3 * kRegionSpacing, kRegionSpacing);
        crypt_data data{};
        const std::string users = dir + "/users";
        std::ofstream(users) << "bench:" << ::crypt_r("secret", "$6$platdumpbench$", &data) << "\n";
        const std::string log = dir + "/serve.log";
        server = spawn({PLATDUMP_TOOL, "serve", "--listen", "127.0.0.1:0", "--users", users}, log);
        for (int i = 0; i < 1000 && base.empty(); ++i) {
            const std::string text = readText(log);
            const size_t at = text.find("listening on ");
            if (text.find("ready") != std::string::npos && at != std::string::npos) {
                const size_t from = at + std::strlen("listening on ");
                base = text.substr(from, text.find_first_of(" ,\n", from) - from);
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        if (base.empty()) std::abort();
        // The offload's bytes, to check every client's against, once.
        if (offload(dir + "/reference", kFirst) != 0 || offload(dir + "/reference2", kSecond) != 0) std::abort();
        bytes = std::filesystem::file_size(dir + "/reference");
    }
    ~Setup() {
        ::kill(server, SIGTERM);
        waitFor(server);
        std::filesystem::remove_all(dir);
    }
    int offload(const std::string& file, unsigned id) {
        char text[16];
        std::snprintf(text, sizeof text, "%X", id);
        return waitFor(spawn({PLATDUMP_TOOL, "offload", text, "-o", file, "--main-store"}));
    }
    pid_t download(const std::string& file, unsigned id) {
        char text[16];
        std::snprintf(text, sizeof text, "%08X", id);
        return spawn({"curl", "-sf", "-u", "bench:secret", "-o", file,
                      base + "/redfish/v1/Systems/system/LogServices/Dump/Entries/" + text + "/attachment?mainstore=true"});
    }
    // One download by a client of this program's to file: a GET with
    // the user's credentials ("bench:secret"), the body received and written
    // 1 MiB at a time. The body's length; 0 when anything failed.
    uint64_t fetch(const std::string& file, unsigned id) const {
        char path[160];
        std::snprintf(path, sizeof path,
                      "/redfish/v1/Systems/system/LogServices/Dump/Entries/%08X/attachment?mainstore=true", id);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_port = htons(static_cast<uint16_t>(std::stoi(base.substr(base.rfind(':') + 1))));
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        int sock = ::socket(AF_INET, SOCK_STREAM, 0);
        if (sock < 0 || ::connect(sock, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) return 0;
        const std::string request = std::string("GET ") + path +
                                    " HTTP/1.1\r\nHost: localhost\r\nAuthorization: Basic YmVuY2g6c2VjcmV0\r\n"
                                    "Connection: close\r\n\r\n";
        if (::send(sock, request.data(), request.size(), 0) != static_cast<ssize_t>(request.size())) return 0;
        std::vector<char> buffer(MiB);
        std::string head;
        size_t end = std::string::npos;
        for (ssize_t n; end == std::string::npos && (n = ::recv(sock, buffer.data(), 4096, 0)) > 0;) {
            head.append(buffer.data(), static_cast<size_t>(n));
            end = head.find("\r\n\r\n");
        }
        const size_t lengthAt = head.find("Content-Length: ");
        if (end == std::string::npos || head.rfind("HTTP/1.1 200", 0) != 0 || lengthAt == std::string::npos) return 0;
        const uint64_t length = std::stoull(head.substr(lengthAt + 16));
        int out = ::open(file.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        std::string first = head.substr(end + 4);
        uint64_t got = first.size();
        bool ok = out >= 0 && ::write(out, first.data(), first.size()) == static_cast<ssize_t>(first.size());
        while (ok && got < length) {
            size_t filled = 0;  // a whole MiB (or the rest) before each write
            for (ssize_t n; filled < buffer.size() && got + filled < length &&
                            (n = ::recv(sock, buffer.data() + filled, buffer.size() - filled, 0)) > 0;)
                filled += static_cast<size_t>(n);
            ok = filled > 0 && ::write(out, buffer.data(), filled) == static_cast<ssize_t>(filled);
            got += filled;
        }
        ::close(sock);
        ok = ok && ::fsync(out) == 0;  // to the disk, as the offload's file
        if (out >= 0) ::close(out);
        return ok && got == length ? length : 0;
    }
    // VmRSS or VmHWM of the server, KiB.
    double serverMemory(const char* field) const {
        std::ifstream status("/proc/" + std::to_string(server) + "/status");
        for (std::string line; std::getline(status, line);)
            if (line.rfind(field, 0) == 0) return std::stod(line.substr(std::strlen(field) + 1));
        return -1;
    }
    std::string dir, base;
    pid_t server = -1;
    uint64_t bytes = 0;
};

Setup& setup() {
    static Setup s;
    return s;
}

double seconds(std::chrono::steady_clock::time_point from) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - from).count();
}

// The counters of a case that times two things in each iteration, a and b,
// which move aStreams and bStreams of the dump's stream: each one's MiB/s,
// b's throughput over a's, and the server's memory after the case.
void report(benchmark::State& state, const Setup& s, const char* a, double aTime, double aStreams, const char* b,
            double bTime, double bStreams, const char* ratio) {
    const double mib = static_cast<double>(state.iterations()) * static_cast<double>(s.bytes) / MiB;
    state.counters[a] = aStreams * mib / aTime;
    state.counters[b] = bStreams * mib / bTime;
    state.counters[ratio] = (bStreams * mib / bTime) / (aStreams * mib / aTime);
    state.counters["server_rss_kib"] = s.serverMemory("VmRSS:");
    state.counters["server_hwm_kib"] = s.serverMemory("VmHWM:");
}

// Offload against a download by client, alternating which goes first.
void againstOffload(benchmark::State& state, const std::function<bool(const std::string&)>& client,
                    const char* name, const char* ratio) {
    Setup& s = setup();
    const std::string offloaded = s.dir + "/offloaded", downloaded = s.dir + "/downloaded";
    if (!client(downloaded) || readText(downloaded) != readText(s.dir + "/reference")) {
        state.SkipWithError("the download differs from the offload");
        return;
    }
    double offloadTime = 0, downloadTime = 0;
    bool offloadFirst = true;  // in turns, so that neither side always meets a warmer cache
    for (auto _ : state) {
        double o = 0, d = 0;
        for (int side = 0; side < 2; ++side) {
            const auto start = std::chrono::steady_clock::now();
            if ((side == 0) == offloadFirst) {
                if (s.offload(offloaded, kFirst) != 0) state.SkipWithError("offload failed");
                o = seconds(start);
            } else {
                if (!client(downloaded)) state.SkipWithError("download failed");
                d = seconds(start);
            }
        }
        offloadFirst = !offloadFirst;
        offloadTime += o;
        downloadTime += d;
        state.SetIterationTime(o + d);
    }
    report(state, s, "offload_MiBps", offloadTime, 1, name, downloadTime, 1, ratio);
}

void singleDownload(benchmark::State& state) {
    againstOffload(
        state, [](const std::string& file) { return setup().fetch(file, kFirst) == setup().bytes; },
        "download_MiBps", "download_vs_offload");
}

void curlToFile(benchmark::State& state) {
    againstOffload(
        state, [](const std::string& file) { return waitFor(setup().download(file, kFirst)) == 0; }, "curl_MiBps",
        "curl_vs_offload");
}

void concurrent16(benchmark::State& state) {
    Setup& s = setup();
    // Every client's bytes checked once: 8 of each dump at once.
    std::vector<pid_t> clients;
    for (int i = 0; i < 16; ++i)
        clients.push_back(s.download(s.dir + "/check" + std::to_string(i), i % 2 ? kSecond : kFirst));
    for (pid_t c : clients)
        if (waitFor(c) != 0) state.SkipWithError("a download failed");
    for (int i = 0; i < 16; ++i) {
        const std::string got = s.dir + "/check" + std::to_string(i);
        if (readText(got) != readText(s.dir + (i % 2 ? "/reference2" : "/reference")))
            state.SkipWithError("a concurrent download differs from the offload");
        std::filesystem::remove(got);
    }
    double oneTime = 0, allTime = 0;
    for (auto _ : state) {
        auto start = std::chrono::steady_clock::now();
        if (waitFor(s.download("/dev/null", kFirst)) != 0) state.SkipWithError("download failed");
        const double one = seconds(start);
        start = std::chrono::steady_clock::now();
        clients.clear();
        for (int i = 0; i < 16; ++i) clients.push_back(s.download("/dev/null", i % 2 ? kSecond : kFirst));
        for (pid_t c : clients)
            if (waitFor(c) != 0) state.SkipWithError("a download failed");
        const double all = seconds(start);
        oneTime += one;
        allTime += all;
        state.SetIterationTime(one + all);
    }
    report(state, s, "one_MiBps", oneTime, 1, "aggregate_MiBps", allTime, 16, "aggregate_vs_one");
}

BENCHMARK(singleDownload)->UseManualTime()->Iterations(8)->Unit(benchmark::kMillisecond);
BENCHMARK(curlToFile)->UseManualTime()->Iterations(4)->Unit(benchmark::kMillisecond);
BENCHMARK(concurrent16)->UseManualTime()->Iterations(2)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    if (argc == 4 && std::string(argv[1]) == "--dump") {
        const unsigned id = static_cast<unsigned>(std::stoul(argv[2], nullptr, 16));
        const uint64_t mainStore = std::stoull(argv[3]) * MiB;
        platsim::root();
        extractableMachine();
        platsim::setMainStoreSize(kRegionSpacing + mainStore);
        makeDump(id, 16 * MiB, 1, mainStore, kRegionSpacing, kRegionSpacing);
        return 0;
    }
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
