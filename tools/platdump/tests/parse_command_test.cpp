// `platdump parse` run as a user runs it: its exit code, how its --json and
// its text output show what the decoder found (the decoder's own tests
// prove what it finds).
#include "decode/tests/streamBuilder.h"
#include "toolTest.h"

using namespace testsupport;
using namespace streamfixture;
using testsupport::Bytes;
using namespace tooltest;

namespace {

class ParseCommand : public ToolTest {
protected:
    std::string stream(const std::vector<uint8_t>& bytes) {
        std::string path = root() + "/offload.dump";
        writeFile(path, std::string(bytes.begin(), bytes.end()));
        return path;
    }
};

TEST_F(ParseCommand, JsonOfAConsistentStream) {
    Built b = build(systemDump());
    ToolRun r = platdump({"parse", stream(b.bytes), "--json"});
    ASSERT_EQ(r.code, 0) << r.err;
    Json j = Json::parse(r.out);
    EXPECT_EQ(j["consistent"], true);
    EXPECT_EQ(j["size"], b.bytes.size());
    EXPECT_TRUE(j["findings"].empty());
    EXPECT_EQ(j["fileHeader"]["dumpType"], "SYS");
    EXPECT_EQ(j["fileHeader"]["sections"][1]["sectionName"], "HARDWARE DATA");
    EXPECT_EQ(j["summary"]["summaryDumpId"], 0x1A);
    EXPECT_EQ(j["summary"]["dumpCreationTime"], "2026-12-05 20:30:15.00");
    EXPECT_TRUE(j["summary"]["voskInfoTime"].is_null());
    EXPECT_EQ(j["summary"]["dumpFlagNames"][0], "dumpCompleteFlag");
    EXPECT_EQ(j["summary"]["dumpSrc"], "b1812345");
    ASSERT_EQ(j["hardwareData"]["nodeGroups"].size(), 2u);
    const Json& hw0 = j["hardwareData"]["nodeGroups"][0]["hardware"];
    EXPECT_EQ(hw0["tocOffset"], b.nodal[0].toc);
    EXPECT_EQ(hw0["entries"][0]["spareBits"], 3);
    EXPECT_EQ(j["hardwareData"]["system"]["entries"][1]["entryId"], 0xF00A0000u);
    EXPECT_EQ(j["hypervisorData"]["mdrt"][2]["address"], 0x0000000300000000u);
    EXPECT_EQ(j["hypervisorData"]["regions"][1]["offset"], b.regions[1]);
}

TEST_F(ParseCommand, DamagedStreamExitsOneWithEachFindingAndItsOffset) {
    Built b = build(systemDump());
    std::vector<uint8_t> bytes = b.bytes;
    patch(bytes, b.nodal[1].entries[0] + 8, Bytes().u32(1000));  // SPDATA item past its data file
    ToolRun r = platdump({"parse", stream(bytes), "--json"});
    EXPECT_EQ(r.code, 1);
    Json j = Json::parse(r.out);
    EXPECT_EQ(j["consistent"], false);
    ASSERT_EQ(j["findings"].size(), 1u) << r.out;
    EXPECT_EQ(j["findings"][0]["severity"], "error");
    EXPECT_EQ(j["findings"][0]["offset"], b.nodal[1].entries[0]);
    EXPECT_EQ(j["findings"][0]["message"], "entry 0 of the SPDATA TOC at 1376 (0x560): item of 1000 (0x3E8) bytes at "
                                           "data offset 0 ends at 1000 (0x3E8), past its data file of 20 (0x14) bytes");
}

TEST_F(ParseCommand, TextOutputForAPerson) {
    Built b = build(hardwareUnitDump());
    ToolRun r = platdump({"parse", stream(b.bytes)});
    ASSERT_EQ(r.code, 0) << r.err;
    for (const char* text : {"summaryEyeCatcher", "HWU DUMP", "node group 0",
                             "dumpCompleteFlag, hardwareCollectionDoneFlag", "The stream is consistent."})
        EXPECT_NE(r.out.find(text), std::string::npos) << text << " in\n" << r.out;

    r = platdump({"parse", stream({b.bytes.begin(), b.bytes.begin() + static_cast<long>(b.nodal[1].data) + 1})});
    EXPECT_EQ(r.code, 1);
    EXPECT_NE(r.out.find("error  at " + std::to_string(b.nodal[1].data)), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("The stream is NOT consistent."), std::string::npos);
}

}  // namespace
