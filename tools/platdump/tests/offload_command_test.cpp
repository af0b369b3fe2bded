// `platdump offload` run as a user runs it: what it writes is what the
// library serves, from any offset, in any request size; a failure leaves
// neither the file nor a temporary one; the progress bar is drawn on a
// terminal only.
#include "toolTest.h"

using namespace testsupport;
using namespace tooltest;

namespace {

class OffloadCommand : public ToolTest {
protected:
    void SetUp() override {
        ToolTest::SetUp();
        out = root() + "/out";
        std::filesystem::create_directory(out);
    }

    std::string out;
};

TEST_F(OffloadCommand, WritesWhatTheLibraryServesFromAnyOffset) {
    completeDump(0x1A, true);
    const std::string stream = extracted(0x1A, true);
    ASSERT_GT(stream.size(), 1232u + 5000u);

    // A request size that splits blocks, the last request short.
    ToolRun r = platdump({"offload", "1A", "-o", out + "/whole", "--main-store", "--request-size", "1000"});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_NE(r.out.find(std::to_string(stream.size()) + " bytes"), std::string::npos) << r.out;
    EXPECT_EQ(r.err, "") << "a progress bar off a terminal";
    EXPECT_EQ(platdump({"offload", "1A", "-o", out + "/rest", "--main-store", "--offset", "1300"}).code, 0);
    EXPECT_EQ(platdump({"offload", "1A", "-o", out + "/nomain"}).code, 0);
    // No temporary file stays.
    EXPECT_TRUE(files(out) ==
                Files({{"nomain", extracted(0x1A, false)}, {"rest", stream.substr(1300)}, {"whole", stream}}));
}

TEST_F(OffloadCommand, AFailureLeavesNoFileAndShowsTheErrorLog) {
    completeDump(0x1A, false);
    createDump(DumpSummary::SYS, 0x1B);  // not complete
    writeFile(out + "/old", "kept");
    ToolRun r = platdump({"offload", "1B", "-o", out + "/old"});
    EXPECT_EQ(r.code, 1);
    EXPECT_NE(r.err.find("the dump is not complete"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("reason 0xF014"), std::string::npos) << r.err;

    platsim::setFault("UtilFile.Open", "match=HwData");  // fails half-way through the stream
    r = platdump({"offload", "1A", "-o", out + "/new", "--request-size", "512"});
    EXPECT_EQ(r.code, 1);
    EXPECT_NE(r.err.find("nothing was written to " + out + "/new"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("call point: module 0x0221 (dumpExtractData"), std::string::npos) << r.err;

    platsim::clearFaults();
    r = platdump({"offload", "1A", "-o", out + "/new", "--offset", "99999"});
    EXPECT_EQ(r.code, 1);
    EXPECT_NE(r.err.find("the stream ends before offset 99999"), std::string::npos) << r.err;
    EXPECT_TRUE(files(out) == Files({{"old", "kept"}}));
}

TEST_F(OffloadCommand, ProgressIsDrawnOnATerminal) {
    completeDump(0x1A, true);
    ToolRun r = onTerminal({"offload", "1A", "-o", out + "/t", "--main-store", "--request-size", "300"});
    ASSERT_EQ(r.code, 0) << r.out;
    EXPECT_NE(r.out.find("\roffload 0x0000001A ["), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("] 100%"), std::string::npos) << r.out;
}

}  // namespace
