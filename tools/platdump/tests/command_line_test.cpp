// The tool's command line as a user types it: each wrong one exits 2 with
// its message and the hint, a file that cannot be read exits 1, --help and
// --version exit 0.
#include "toolTest.h"

using namespace tooltest;

namespace {

class CommandLine : public ToolTest {};

struct Row {
    std::vector<std::string> args;
    int code;
    std::string err;
};

const std::string kHint = "\nRun with --help for more information.\n";

std::string badId(const std::string& id) {
    return "ID: a dump ID is up to 8 hexadecimal digits, not \"" + id + "\"" + kHint;
}

TEST_F(CommandLine, EachMistakeGetsItsExitCodeAndMessage) {
    std::vector<Row> rows = {
        {{}, 2, "A subcommand is required" + kHint},
        {{"frobnicate"}, 2, "A subcommand is required" + kHint},
        {{"sim"}, 2, "A subcommand is required" + kHint},
        {{"parse"}, 2, "FILE is required" + kHint},
        {{"parse", "x.dump", "--no-such-option"}, 2,
         "The following argument was not expected: --no-such-option" + kHint},
        {{"offload", "1A", "-o", "x", "--request-size", "0"}, 2,
         "--request-size: Value 0 not in range 1 to 67108864" + kHint},
        {{"check", "no-id"}, 2, badId("no-id")},
        {{"mirror", "not-an-id"}, 2, badId("not-an-id")},
        {{"mirror", "--bogus"}, 2, "The following argument was not expected: --bogus" + kHint},
        {{"mirror", "1A", "1B"}, 2, "The following argument was not expected: 1B" + kHint},
        {{"parse", "no-such.dump"}, 1, "platdump parse: cannot open no-such.dump: No such file or directory\n"},
        {{"parse", "/"}, 1, "platdump parse: cannot open /: is a directory\n"},
        {{"offload", "1C", "-o", "x"}, 1, "platdump offload: no dump 0x0000001C in the repository\n"},
        {{"mirror", "2C"}, 1, "platdump mirror: no dump 0x0000002C in /plat_dump\n"},
        {{"check", "2C"}, 1, "platdump check: no dump 0x0000002C in /plat_dump\n"},
        {{"status", "2A"}, 1,
         "platdump status: no status log for dump 0x0000002A: /plat_dump/dumpstatus.0000002A does not exist\n"},
    };
    for (const char* id : {"", "0x", "123456789", "0x123456789", "1G", "-1", "+1A", " 1A", "1A ", "1A.0", "x1A"})
        rows.push_back({{"status", id}, 2, badId(id)});
    for (const Row& row : rows) {
        ToolRun r = platdump(row.args);
        const std::string line = ::testing::PrintToString(row.args);
        EXPECT_EQ(r.code, row.code) << line;
        EXPECT_EQ(r.err, row.err) << line;
        EXPECT_EQ(r.out, "") << line;
    }
}

TEST_F(CommandLine, HelpAndVersion) {
    ToolRun r = platdump({"--help"});
    EXPECT_EQ(r.code, 0);
    EXPECT_NE(r.out.find("  parse                       Decode an offloaded dump"), std::string::npos) << r.out;
    r = platdump({"--version"});
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(r.out, "platdump 1.0.0\n");
}

}  // namespace
