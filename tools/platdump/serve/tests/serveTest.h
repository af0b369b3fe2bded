// The fixture of the serve tests: `platdump serve` runs as a user runs it on
// the test's fresh simulation root, and is reached by real clients (curl,
// redfishtool, openssl, mkpasswd) run as programs. A client missing from
// the machine fails the test that runs it.
#pragma once

#include "tools/platdump/tests/toolTest.h"

namespace servetest {

using testsupport::Json;
using testsupport::readFile;
using tooltest::sameBytes;
using tooltest::ToolRun;

class ServeTest : public tooltest::ToolTest {
protected:
    // argv started, its standard output going to the file out, or to a pipe
    // whose reading end is set in fd (a client the test slows down by
    // reading as slowly as it wants); killed at the end of the test.
    pid_t background(const std::vector<std::string>& argv, const std::string& out) {
        return spawn(argv, ::open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644), ::open("/dev/null", O_WRONLY));
    }
    pid_t piped(const std::vector<std::string>& argv, int& fd) {
        int ends[2];
        if (::pipe(ends) != 0) return -1;
        fd = ends[0];
        return spawn(argv, ends[1], ::open("/dev/null", O_WRONLY));
    }

    // Up to n bytes from fd, fewer only at its end.
    static std::string readUpTo(int fd, size_t n) {
        std::string bytes(n, '\0');
        size_t got = 0;
        for (ssize_t r; got < n && (r = ::read(fd, &bytes[got], n - got)) > 0;) got += static_cast<size_t>(r);
        bytes.resize(got);
        return bytes;
    }

    // Every serve test starts on the dump of `platdump demo --keep` (0x1A,
    // complete).
    void SetUp() override {
        ToolTest::SetUp();
        ToolRun r = platdump({"demo", "--keep"});
        ASSERT_EQ(r.code, 0) << r.out << r.err;
    }

    // Starts `platdump serve args` (on 127.0.0.1:0 when args name no
    // address) and waits until it says it is ready; sets base to
    // "http://127.0.0.1:PORT" (https with TLS).
    void startServer(std::vector<std::string> args = {}) {
        if (std::find(args.begin(), args.end(), "--listen") == args.end())
            args.insert(args.begin(), {"--listen", "127.0.0.1:0"});
        args.insert(args.begin(), {PLATDUMP_TOOL, "serve"});
        iv_serverLog = root() + "/serve.log." + std::to_string(++iv_starts);
        iv_server = spawn(args, ::open("/dev/null", O_WRONLY), ::open(iv_serverLog.c_str(), O_WRONLY | O_CREAT, 0644));
        std::string log;
        for (int i = 0; i < 1500 && log.find("platdump serve: ready") == std::string::npos; ++i) {
            ASSERT_NE(::waitpid(iv_server, nullptr, WNOHANG), iv_server) << "platdump serve ended: " << serverLog();
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
            log = serverLog();
        }
        ASSERT_NE(log.find("platdump serve: ready"), std::string::npos) << log;
        base = after(log, "listening on ", " ,\n");
    }

    // SIGTERM; the server's exit code (-1000 when it did not end in 20 s).
    int stopServer() {
        ::kill(iv_server, SIGTERM);
        return waitFor(iv_server, 20);
    }

    std::string serverLog() const { return readFile(iv_serverLog); }

    ToolRun curl(std::vector<std::string> args) {
        args.insert(args.begin(), {"curl", "-s", "--max-time", "60"});
        return run(args);
    }
    // The status code curl saw for args (its body to the file body).
    std::string status(std::vector<std::string> args, const std::string& body = "/dev/null") {
        args.insert(args.end(), {"-o", body, "-w", "%{http_code}"});
        return curl(args).out;
    }

    // The text after the first marker in text, up to one of the ends.
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

    std::string base;

private:
    pid_t iv_server = -1;
    std::string iv_serverLog;
    int iv_starts = 0;
};

}  // namespace servetest
