// `platdump parse` run as a user runs it: a separate process, its exit
// code, its --json output parsed, its text output and its usage errors.
#include "decode/tests/streamBuilder.h"
#include "toolTest.h"

using namespace testsupport;
using namespace streamfixture;
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
    EXPECT_EQ(hw0["entries"][0]["hwWords"][4], 0x80300000u);
    EXPECT_EQ(hw0["entries"][0]["spareBits"], 3);
    EXPECT_EQ(j["hardwareData"]["system"]["entries"][1]["entryId"], 0xF00A0000u);
    EXPECT_EQ(j["hypervisorData"]["mdrt"][2]["address"], 0x0000000300000000u);
    EXPECT_EQ(j["hypervisorData"]["regions"][1]["offset"], b.regions[1]);
}

TEST_F(ParseCommand, DamagedStreamExitsOneWithEachFindingAndItsOffset) {
    Built b = build(systemDump());
    std::vector<uint8_t> bytes = b.bytes;
    patch32(bytes, b.nodal[1].entries[0] + 8, 1000);  // SPDATA item past its data file
    bytes.resize(b.regions[2] + 10);                   // and the last region cut short
    ToolRun r = platdump({"parse", stream(bytes), "--json"});
    EXPECT_EQ(r.code, 1);
    Json j = Json::parse(r.out);
    EXPECT_EQ(j["consistent"], false);
    std::vector<std::pair<uint64_t, std::string>> errors;
    for (const Json& f : j["findings"])
        if (f["severity"] == "error") errors.emplace_back(f["offset"].get<uint64_t>(), f["message"]);
    ASSERT_EQ(errors.size(), 2u) << r.out;
    EXPECT_EQ(errors[0].first, b.nodal[1].entries[0]);
    EXPECT_NE(errors[0].second.find("past its data file"), std::string::npos);
    EXPECT_EQ(errors[1].first, b.regions[2]);
    EXPECT_NE(errors[1].second.find("main-store region 2"), std::string::npos);
}

TEST_F(ParseCommand, TextOutputForAPerson) {
    Built b = build(hardwareUnitDump());
    ToolRun r = platdump({"parse", stream(b.bytes)});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_NE(r.out.find("summaryEyeCatcher"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("HWU DUMP"), std::string::npos);
    EXPECT_NE(r.out.find("node group 0"), std::string::npos);
    EXPECT_NE(r.out.find("dumpCompleteFlag, hardwareCollectionDoneFlag"), std::string::npos);
    EXPECT_NE(r.out.find("The stream is consistent."), std::string::npos);

    std::vector<uint8_t> bytes = cut(b.bytes, b.nodal[1].data + 1);
    r = platdump({"parse", stream(bytes)});
    EXPECT_EQ(r.code, 1);
    EXPECT_NE(r.out.find("error  at " + std::to_string(b.nodal[1].data)), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("The stream is NOT consistent."), std::string::npos);
}

TEST_F(ParseCommand, UsageErrorsExitTwoAndUnreadableFilesOne) {
    EXPECT_EQ(platdump({}).code, 2);
    EXPECT_EQ(platdump({"parse"}).code, 2);
    EXPECT_EQ(platdump({"frobnicate"}).code, 2);
    ToolRun r = platdump({"parse", root() + "/x", "--no-such-option"});
    EXPECT_EQ(r.code, 2);
    EXPECT_FALSE(r.err.empty());

    r = platdump({"parse", root() + "/missing.dump"});
    EXPECT_EQ(r.code, 1);
    EXPECT_NE(r.err.find("cannot open " + root() + "/missing.dump"), std::string::npos) << r.err;
    EXPECT_EQ(platdump({"parse", root()}).code, 1);  // a directory

    r = platdump({"--help"});
    EXPECT_EQ(r.code, 0);
    EXPECT_NE(r.out.find("parse"), std::string::npos);
    r = platdump({"--version"});
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(r.out, "platdump 1.0.0\n");
}

}  // namespace
