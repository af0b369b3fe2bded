// Downloads through `platdump serve` with curl: the attachment is the
// offload stream byte for byte, in ranges, resumed across a restart of the
// server, never joined across two versions of a dump; main store only to a
// logged-in user or over the Unix socket; TLS.
#include "serveTest.h"

using namespace servetest;
using testsupport::writeFile;

namespace {

class ServeDownload : public ServeTest {
protected:
    // A users file of one user, "operator" with password "secret".
    std::string usersFile() {
        ToolRun r = run({"mkpasswd", "-m", "sha-512", "secret"});  // Debian's whois
        EXPECT_EQ(r.code, 0) << r.err;
        const std::string path = root() + "/users";
        writeFile(path, "# users of platdump serve\noperator:" + r.out);
        return path;
    }
};

TEST_F(ServeDownload, TheAttachmentIsTheOffloadStreamWholeAndInRanges) {
    startServer();
    const std::string stream = extracted(0x1A, false);
    const std::string file = root() + "/got";
    ASSERT_EQ(status({attachment("1A")}, file), "200");
    EXPECT_TRUE(sameBytes(readFile(file), stream));

    using Range = std::tuple<const char*, size_t, size_t>;  // asked, first byte, length
    for (const auto& [asked, first, length] :
         {Range{"0-0", 0, 1}, Range{"100-4195", 100, 4096}, Range{"-50", stream.size() - 50, 50},
          Range{"500000-", 500000, stream.size() - 500000}, Range{"5000-99999999999", 5000, stream.size() - 5000}}) {
        EXPECT_EQ(status({"-r", asked, "-D", root() + "/headers", entry("0x1a") + "/attachment"}, file), "206");
        const std::string range = std::to_string(first) + "-" + std::to_string(first + length - 1);
        EXPECT_NE(readFile(root() + "/headers").find("Content-Range: bytes " + range + "/" +
                                                     std::to_string(stream.size())), std::string::npos) << asked;
        EXPECT_EQ(readFile(file), stream.substr(first, length)) << asked;
    }

    ToolRun head = curl({"-I", attachment("1A")});
    EXPECT_NE(head.out.find("HTTP/1.1 200"), std::string::npos) << head.out;
    EXPECT_NE(head.out.find("Content-Length: " + std::to_string(stream.size())), std::string::npos) << head.out;
    EXPECT_NE(head.out.find("Accept-Ranges: bytes"), std::string::npos) << head.out;
    const std::string etag = after(head.out, "ETag: ", "\r\n");
    EXPECT_EQ(etag.size(), 27u) << head.out;  // "0000001A-" and 16 hex digits, quoted
    EXPECT_EQ(etag.rfind("\"0000001A-", 0), 0u) << head.out;
    ToolRun unsatisfiable = curl({"-r", std::to_string(stream.size()) + "-", "-D", "-", "-o", "/dev/null", attachment("1A")});
    EXPECT_NE(unsatisfiable.out.find("HTTP/1.1 416"), std::string::npos) << unsatisfiable.out;
    EXPECT_NE(unsatisfiable.out.find("Content-Range: bytes */" + std::to_string(stream.size())), std::string::npos);
    EXPECT_EQ(stopServer(), 0) << serverLog();
}

TEST_F(ServeDownload, AStaleIfRangeGetsTheWholeNewVersionAndAChangeCutsATransferOff) {
    const std::string socket = root() + "/serve.sock";
    startServer({"--listen", "127.0.0.1:0", "--unix", socket});
    ToolRun head = curl({"-I", attachment("1A")});
    const std::string before = after(head.out, "ETag: ", "\r\n");
    ASSERT_NE(before, "") << head.out;

    // A transfer of several pieces under way when the summary changes is
    // cut off, not ended as if whole (main store, over the Unix socket).
    // The test reads curl's output: while it does not, the server waits to
    // send the rest of the first piece.
    int output = -1;
    pid_t slow = piped({"curl", "-s", "--unix-socket", socket, attachment("1A") + "?mainstore=true"}, output);
    std::string cut = readUpTo(output, 100000);
    ASSERT_EQ(cut.size(), 100000u);
    openDump(0x1A)->SetPrivateFlagsByMask(0x00010000);
    cut += readUpTo(output, 1u << 30);
    ::close(output);
    EXPECT_EQ(waitFor(slow, 60), 18) << "curl: partial file";  // CURLE_PARTIAL_FILE
    EXPECT_LT(cut.size(), extracted(0x1A, true).size());
    EXPECT_TRUE(sameBytes(cut, extracted(0x1A, true).substr(0, cut.size()))) << "what came is the old version's";
    EXPECT_NE(serverLog().find("dump 0x0000001A: the dump changed during the transfer"), std::string::npos)
        << serverLog();

    head = curl({"-I", attachment("1A")});
    const std::string now = after(head.out, "ETag: ", "\r\n");
    const std::string file = root() + "/got";
    EXPECT_EQ(status({"-r", "100-", "-H", "If-Range: " + before, attachment("1A")}, file), "200");
    EXPECT_TRUE(sameBytes(readFile(file), extracted(0x1A, false)));
    EXPECT_EQ(status({"-r", "100-", "-H", "If-Range: " + now, attachment("1A")}, file), "206");
}

TEST_F(ServeDownload, AKilledDownloadResumesAcrossARestartOfTheServer) {
    const std::string users = usersFile();
    const std::string socket = root() + "/serve.sock";
    startServer({"--listen", "127.0.0.1:0", "--unix", socket, "--users", users});
    const std::string stream = extracted(0x1A, true);
    const std::string file = root() + "/resumed";
    const std::string url = attachment("1A") + "?mainstore=true";
    // curl is killed half-way; what it delivered is the start of the file.
    int output = -1;
    pid_t first = piped({"curl", "-s", "-u", "operator:secret", url}, output);
    pid_t events = background({"curl", "-sN", base + "/redfish/v1/EventService/SSE"}, root() + "/events");
    writeFile(file, readUpTo(output, 700000));
    ::kill(first, SIGKILL);
    ::waitpid(first, nullptr, 0);
    ::close(output);
    EXPECT_EQ(readFile(file).size(), 700000u);

    // SIGTERM ends the server cleanly with an event stream open and a
    // transfer waiting for its client, which sees it cut off (over the Unix
    // socket, whose buffers hold far less than the stream).
    int stalledOutput = -1;
    pid_t stalled = piped({"curl", "-s", "--unix-socket", socket, url}, stalledOutput);
    EXPECT_EQ(readUpTo(stalledOutput, 1000).size(), 1000u);
    EXPECT_EQ(stopServer(), 0) << serverLog();
    EXPECT_NE(serverLog().find("platdump serve: stopped"), std::string::npos) << serverLog();
    ::waitpid(events, nullptr, 0);
    EXPECT_LT(1000 + readUpTo(stalledOutput, 1u << 30).size(), stream.size());
    ::close(stalledOutput);
    EXPECT_EQ(waitFor(stalled, 60), 18) << "curl: partial file";

    startServer({"--users", users});
    ToolRun resumed = curl({"-u", "operator:secret", "-C", "-", "-o", file, attachment("1A") + "?mainstore=true"});
    EXPECT_EQ(resumed.code, 0) << resumed.err;
    EXPECT_TRUE(sameBytes(readFile(file), stream));
}

TEST_F(ServeDownload, MainStoreOnlyToALoggedInUserOrOverTheUnixSocket) {
    const std::string users = usersFile();
    const std::string socket = root() + "/serve.sock";
    startServer({"--listen", "127.0.0.1:0", "--unix", socket, "--users", users});
    const std::string main = extracted(0x1A, true), file = root() + "/got";
    const std::string url = attachment("1A") + "?mainstore=true";

    EXPECT_EQ(status({url}), "401");
    EXPECT_EQ(status({"-u", "operator:wrong", url}), "401");
    EXPECT_EQ(status({"-u", "nobody:secret", url}), "401");
    EXPECT_NE(serverLog().find("user nobody refused"), std::string::npos) << serverLog();
    ASSERT_EQ(status({"-u", "operator:secret", url}, file), "200");
    EXPECT_TRUE(sameBytes(readFile(file), main));
    EXPECT_EQ(status({"-u", "operator:wrong", base + "/redfish/v1"}), "401");  // credentials sent are checked
    EXPECT_EQ(status({base + "/redfish/v1"}), "200");                          // loopback needs none

    namespace fs = std::filesystem;
    EXPECT_EQ(fs::status(socket).permissions(), fs::perms::owner_read | fs::perms::owner_write);
    ASSERT_EQ(status({"--unix-socket", socket, attachment("1A") + "?mainstore=1"}, file), "200");
    EXPECT_TRUE(sameBytes(readFile(file), main));
    EXPECT_EQ(stopServer(), 0);
    EXPECT_FALSE(fs::exists(socket)) << "the socket file is removed";

    // An address beyond loopback is not served without users.
    ToolRun refused = platdump({"serve", "--listen", "0.0.0.0:0"});
    EXPECT_EQ(refused.code, 2);
    EXPECT_NE(refused.err.find("refusing to serve 0.0.0.0:"), std::string::npos) << refused.err;
}

TEST_F(ServeDownload, OverTlsWithASelfSignedCertificate) {
    const std::string cert = root() + "/cert.pem", key = root() + "/key.pem";
    ToolRun made = run({"openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", key, "-out", cert,
                        "-days", "2", "-subj", "/CN=localhost", "-addext", "subjectAltName=IP:127.0.0.1"});
    ASSERT_EQ(made.code, 0) << made.err;
    startServer({"--tls-cert", cert, "--tls-key", key});
    ASSERT_EQ(base.rfind("https://127.0.0.1:", 0), 0u) << base;
    const std::string file = root() + "/got";
    ASSERT_EQ(status({"--cacert", cert, attachment("1A")}, file), "200");
    EXPECT_TRUE(sameBytes(readFile(file), extracted(0x1A, false)));
    EXPECT_EQ(status({attachment("1A")}), "000") << "an unknown certificate is refused by curl";
    EXPECT_NE(status({"http" + base.substr(5) + "/redfish/v1"}), "200");  // plain HTTP
    EXPECT_EQ(stopServer(), 0) << serverLog();
}

}  // namespace
