// The fixture of the serve tests: `platdump serve` runs as a user runs it,
// a separate process on the test's fresh simulation root holding the dump
// of `platdump demo --keep`, and is reached by real clients (curl,
// redfishtool, openssl) run as programs. A client missing from the machine
// fails the test that needs it, naming the package.
#pragma once

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "platdump/platdump.h"
#include "platform/sim/platsim.h"
#include "tests/common/simTest.h"

namespace servetest {

using testsupport::Json;

// Two byte strings compared without printing them: their sizes and the
// first offset where they differ.
inline ::testing::AssertionResult sameBytes(const std::string& got, const std::string& expected) {
    if (got == expected) return ::testing::AssertionSuccess();
    size_t i = 0;
    while (i < got.size() && i < expected.size() && got[i] == expected[i]) ++i;
    return ::testing::AssertionFailure() << "got " << got.size() << " bytes, expected " << expected.size()
                                         << "; they differ from offset " << i;
}

struct Ran {
    int code;  // exit code, -(signal) when killed, -1000 when it timed out
    std::string out, err;
};

class ServeTest : public testsupport::SimTest {
protected:
    void SetUp() override {
        SimTest::SetUp();
        platsim::setClock(kClock);
        platsim::setRegistry("svpd/Raw_MachineSerialNumber", "ab12cd3");
    }

    void TearDown() override {
        for (pid_t pid : iv_background) {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, nullptr, 0);
        }
        if (iv_server > 0) {
            ::kill(iv_server, SIGKILL);
            ::waitpid(iv_server, nullptr, 0);
        }
        SimTest::TearDown();
    }

    // Fails the test (fatally, in the caller) unless program is on PATH.
    static void requireTool(const std::string& program, const std::string& package) {
        Ran r = runTool({"sh", "-c", "command -v " + program}, 10);
        ASSERT_EQ(r.code, 0) << program << " is missing: scripts/deps.sh installs it (Debian package " << package
                             << ")";
    }

    // argv run to its end (killed after timeout seconds), output captured.
    static Ran runTool(const std::vector<std::string>& argv, int timeout = 60, const std::string& dir = "") {
        char outName[] = "/tmp/serve-test-out.XXXXXX", errName[] = "/tmp/serve-test-err.XXXXXX";
        int o = ::mkstemp(outName), e = ::mkstemp(errName);
        pid_t pid = spawn(argv, o, e, dir);
        ::close(o);
        ::close(e);
        int code = waitFor(pid, timeout);
        Ran r{code, testsupport::readFile(outName), testsupport::readFile(errName)};
        ::unlink(outName);
        ::unlink(errName);
        return r;
    }

    // argv started in the background, its standard output going to out;
    // killed at the end of the test at the latest.
    pid_t background(const std::vector<std::string>& argv, const std::string& out) {
        int o = ::open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        int e = ::open("/dev/null", O_WRONLY);
        pid_t pid = spawn(argv, o, e, "");
        ::close(o);
        ::close(e);
        iv_background.push_back(pid);
        return pid;
    }

    // argv started in the background with its standard output going to a
    // pipe, whose reading end is set in out: a client that the test slows
    // down, by reading its output as slowly as it wants, and stops.
    pid_t piped(const std::vector<std::string>& argv, int& out) {
        int ends[2];
        if (::pipe(ends) != 0) return -1;
        int e = ::open("/dev/null", O_WRONLY);
        pid_t pid = spawn(argv, ends[1], e, "");
        ::close(ends[1]);
        ::close(e);
        iv_background.push_back(pid);
        out = ends[0];
        return pid;
    }

    // Up to n bytes from fd, fewer only at its end.
    static std::string readUpTo(int fd, size_t n) {
        std::string bytes(n, '\0');
        size_t got = 0;
        for (ssize_t r; got < n && (r = ::read(fd, &bytes[got], n - got)) > 0;) got += static_cast<size_t>(r);
        bytes.resize(got);
        return bytes;
    }

    // The tool, run to its end.
    Ran platdump(const std::vector<std::string>& args, int timeout = 120) {
        std::vector<std::string> argv{PLATDUMP_TOOL};
        argv.insert(argv.end(), args.begin(), args.end());
        return runTool(argv, timeout);
    }

    // The demo's dump (0x1A), complete, left in the repository.
    void demoDump() {
        Ran r = platdump({"demo", "--keep"});
        ASSERT_EQ(r.code, 0) << r.out << r.err;
    }

    // Starts `platdump serve args` (the default --listen 127.0.0.1:0 when
    // args name no address) and waits until it says it is ready; sets base
    // to "http://127.0.0.1:PORT" (https with TLS).
    void startServer(std::vector<std::string> args = {}) {
        bool address = false;
        for (const std::string& a : args) address |= a == "--listen" || a == "--unix";
        if (!address) args.insert(args.begin(), {"--listen", "127.0.0.1:0"});
        std::vector<std::string> argv{PLATDUMP_TOOL, "serve"};
        argv.insert(argv.end(), args.begin(), args.end());
        iv_serverLog = root() + "/serve.log." + std::to_string(++iv_starts);
        int e = ::open(iv_serverLog.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        int o = ::open("/dev/null", O_WRONLY);
        iv_server = spawn(argv, o, e, "");
        ::close(o);
        ::close(e);
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
        std::string log;
        while (std::chrono::steady_clock::now() < deadline) {
            log = serverLog();
            if (log.find("platdump serve: ready") != std::string::npos) break;
            if (::waitpid(iv_server, nullptr, WNOHANG) == iv_server) {
                iv_server = -1;
                FAIL() << "platdump serve ended: " << log;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        ASSERT_NE(log.find("platdump serve: ready"), std::string::npos) << log;
        base = after(log, "listening on ", " ,\n");
    }

    // SIGTERM; the server's exit code (-1000 when it did not end in 20 s).
    int stopServer() {
        if (iv_server <= 0) return -2000;
        ::kill(iv_server, SIGTERM);
        int code = waitFor(iv_server, 20);
        iv_server = -1;
        return code;
    }

    std::string serverLog() const { return testsupport::readFile(iv_serverLog); }

    // curl with args; -s and a 60 s limit added.
    static Ran curl(std::vector<std::string> args) {
        args.insert(args.begin(), {"curl", "-s", "--max-time", "60"});
        return runTool(args, 90);
    }
    // The status code curl saw for args (its body to the file body when given).
    static std::string status(std::vector<std::string> args, const std::string& body = "/dev/null") {
        args.insert(args.end(), {"-o", body, "-w", "%{http_code}"});
        return curl(args).out;
    }

    // The text after the first marker in text, up to one of the ends (or
    // the end); "" when the marker is not there.
    static std::string after(const std::string& text, const std::string& marker, const char* ends) {
        const size_t at = text.find(marker);
        if (at == std::string::npos) return "";
        const size_t from = at + marker.size();
        return text.substr(from, text.find_first_of(ends, from) - from);
    }

    std::string entry(const std::string& id) const {
        return base + "/redfish/v1/Systems/system/LogServices/Dump/Entries/" + id;
    }
    std::string attachment(const std::string& id) const { return entry(id) + "/attachment"; }

    static constexpr int64_t kClock = 1796502615;  // 2026-12-05 20:30:15 UTC
    std::string base;

private:
    static pid_t spawn(const std::vector<std::string>& argv, int out, int err, const std::string& dir) {
        std::fflush(nullptr);
        pid_t pid = ::fork();
        if (pid == 0) {
            ::dup2(out, 1);
            ::dup2(err, 2);
            int in = ::open("/dev/null", O_RDONLY);
            ::dup2(in, 0);
            if (!dir.empty() && ::chdir(dir.c_str()) != 0) ::_exit(126);
            std::vector<char*> ptrs;
            for (const std::string& a : argv) ptrs.push_back(const_cast<char*>(a.c_str()));
            ptrs.push_back(nullptr);
            ::execvp(ptrs[0], ptrs.data());
            ::_exit(127);
        }
        return pid;
    }

    static int waitFor(pid_t pid, int timeout) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(timeout);
        int status = 0;
        while (::waitpid(pid, &status, WNOHANG) == 0) {
            if (std::chrono::steady_clock::now() > deadline) {
                ::kill(pid, SIGKILL);
                ::waitpid(pid, &status, 0);
                return -1000;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return WIFEXITED(status) ? WEXITSTATUS(status) : -WTERMSIG(status);
    }

    pid_t iv_server = -1;
    std::string iv_serverLog;
    int iv_starts = 0;
    std::vector<pid_t> iv_background;
};

}  // namespace servetest
