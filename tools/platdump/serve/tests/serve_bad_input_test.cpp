// What `platdump serve` does with requests it does not understand or must
// refuse: a clear 4xx with an error body in the management world's shape,
// never a crash or a hang (how each Range header is decided is the byte
// range test's); and a slow client holds only its own connection, closed
// when it stays silent.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include "serveTest.h"

using namespace servetest;

namespace {

class ServeBadInput : public ServeTest {};

struct Refusal {
    const char* what;
    std::string path;  // after the server's address
    std::vector<std::string> args;
    const char* status;
    const char* messageId;  // of the error body; "" when the answer has none of ours
};

const std::string kEntries = "/redfish/v1/Systems/system/LogServices/Dump/Entries";
const std::string kAttachment = kEntries + "/1A/attachment";

TEST_F(ServeBadInput, EachRequestGetsAClearAnswer) {
    createDump(DumpSummary::SYS, 0x2C);  // not complete
    startServer();
    const std::vector<Refusal> table = {
        {"unknown path", "/redfish/v2", {}, "404", "Base.1.18.ResourceNotFound"},
        {"a path climbing out of the tree", "/redfish/v1/Systems/../../../etc/passwd", {"--path-as-is"}, "404",
         "Base.1.18.ResourceNotFound"},
        {"an encoded NUL in the path", "/redfish/v1%00/Systems", {}, "404", "Base.1.18.ResourceNotFound"},
        {"an id that is no hex", kEntries + "/1G", {}, "400", "Base.1.18.ResourceNotFound"},
        {"an id of nine digits", kEntries + "/123456789", {}, "400", "Base.1.18.ResourceNotFound"},
        {"an id of only 0x", kEntries + "/0x/attachment", {}, "400", "Base.1.18.ResourceNotFound"},
        {"an unknown id", kEntries + "/FF", {}, "404", "Base.1.18.ResourceNotFound"},
        {"an unknown id's attachment", kEntries + "/FF/attachment", {}, "404", "Base.1.18.ResourceNotFound"},
        {"below an attachment", kAttachment + "/more", {}, "404", "Base.1.18.ResourceNotFound"},
        {"PUT on an entry", kEntries + "/1A", {"-X", "PUT"}, "405", "Base.1.18.OperationNotAllowed"},
        {"DELETE on the collection", kEntries, {"-X", "DELETE"}, "405", "Base.1.18.OperationNotAllowed"},
        {"a lower-case method", kEntries, {"-X", "get"}, "405", "Base.1.18.OperationNotAllowed"},
        {"POST with a body", kAttachment, {"-d", "x=1"}, "405", "Base.1.18.OperationNotAllowed"},
        {"GET with a body of 100 KiB", "/redfish/v1", {"-X", "GET", "-d", std::string(100 << 10, 'x')}, "413",
         "Base.1.18.GeneralError"},
        {"DELETE with a small body", kEntries + "/FF", {"-X", "DELETE", "-d", "x=1"}, "404",
         "Base.1.18.ResourceNotFound"},
        {"a Range without a unit", kAttachment, {"-H", "Range: 0-10"}, "416", "Base.1.18.PropertyValueOutOfRange"},
        {"a main-store flag of another value", kAttachment + "?mainstore=maybe", {}, "400",
         "Base.1.18.QueryParameterValueFormatError"},
        {"main store without users configured", kAttachment + "?mainstore=true", {}, "403",
         "Base.1.18.InsufficientPrivilege"},
        {"an incomplete dump's attachment", kEntries + "/2C/attachment", {}, "409", "Base.1.18.ResourceInUse"},
        {"a header of 64 KiB", "/redfish/v1", {"-H", "X-Big: " + std::string(64 << 10, 'b')}, "431", ""},
        {"credentials no user file checks, on loopback", "/redfish/v1", {"-u", "someone:x"}, "200", ""},
    };
    for (const Refusal& row : table) {
        const std::string body = root() + "/body";
        std::vector<std::string> args = row.args;
        args.push_back(base + row.path);
        EXPECT_EQ(status(args, body), row.status) << row.what;
        if (*row.messageId) {
            Json error = Json::parse(readFile(body), nullptr, false);
            EXPECT_EQ(error["error"]["code"], row.messageId) << row.what << ": " << readFile(body);
            EXPECT_EQ(error["error"]["@Message.ExtendedInfo"][0]["MessageId"], row.messageId) << row.what;
        }
    }
    EXPECT_EQ(status({base + "/redfish/v1"}), "200") << "the server still answers";
    EXPECT_EQ(stopServer(), 0) << serverLog();
}

// A connection to the server's port, of the test's own.
int connectTo(const std::string& base) {
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(static_cast<uint16_t>(std::stoi(base.substr(base.rfind(':') + 1))));
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    return ::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 ? fd : -1;  // the test ends then
}

TEST_F(ServeBadInput, SlowClientsAreClosedAndStarveNoOne) {
    createDump(DumpSummary::SYS, 0x2C);  // not complete: listed without a size
    startServer({"--idle-timeout", "2", "--max-connections", "32"});
    std::vector<int> slow;
    for (int i = 0; i < 8; ++i) {
        int fd = connectTo(base);
        ASSERT_GE(fd, 0);
        if (i % 2 == 0) {  // half of them begin a request and never end it
            const std::string partial = "GET /redfish/v1 HTTP/1.1\r\nHost: x\r\nX-Slow: ";
            ASSERT_EQ(::send(fd, partial.data(), partial.size(), 0), static_cast<ssize_t>(partial.size()));
        }
        slow.push_back(fd);
    }
    EXPECT_EQ(status({base + kEntries}), "200");
    EXPECT_EQ(status({base + kAttachment}), "200");

    // Each silent connection is closed by the server after its idle time.
    timeval wait{10, 0};
    for (int fd : slow) {
        ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &wait, sizeof wait);
        char byte;
        const auto start = std::chrono::steady_clock::now();
        EXPECT_LE(::recv(fd, &byte, 1, 0), 0);
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(9));
        ::close(fd);
    }
    EXPECT_EQ(status({base + "/redfish/v1"}), "200");
    EXPECT_EQ(stopServer(), 0) << serverLog();
}

}  // namespace
