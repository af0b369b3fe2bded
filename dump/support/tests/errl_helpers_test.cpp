// The error-log helpers and user-data sections, read back from the
// simulation's committed log: the SRC and its words, the callout, the
// traces, the call points, and each section's bytes.
#include <cstring>

#include "platdump/dumpErrl.h"
#include "platdump/dumpUsrData.h"
#include "tests/common/dumpTest.h"

using namespace testsupport;

namespace {

class ErrlHelpers : public DumpTest {
protected:
    // Commits e (the pointer becomes null) and returns its record.
    Json committed(ErrlEntry*& e) {
        dumpCommitAndFreeLog(e);
        newLogs();  // looked at here
        return errlog().back();
    }
    // A section's bytes as attached to a committed entry, and its type.
    std::string attached(const util::ErrlUsrDataCreator& section) {
        ErrlEntry* e = dumpCreateInfoLog(0, 0xF00B, 0x0113, 1, 0, 0, 0);
        dumpAddDetails(section, e);
        std::string s = signature(committed(e));
        return s.substr(s.find("sev=0 ") + 6);
    }
};

// An SRC's record without its ASCII text.
Json srcFields(Json src) {
    src.erase("ascii");
    return src;
}

TEST_F(ErrlHelpers, ErrorLogCarriesTheLibrarysSrcLocationWordTraceAndCallout) {
    ErrlEntry* e = dumpCreateErrorLog(1, 0xF00B, 0x0113, 0x18, 0x1A, 2, 3);
    Json j = committed(e);
    EXPECT_EQ(e, nullptr) << "commit nulls the caller's pointer";
    EXPECT_EQ(signature(j), "01130B18 1A 2 3 rc=1 sev=20 tr=dump");
    EXPECT_EQ((std::vector<Json>{j["creator"], j["eventType"], srcFields(j["srcs"][0]), j["commit"]}),
              (std::vector<Json>{0xF000, 0,
                                 Json{{"type", 0xB1}, {"component", 0xF000}, {"reasonCode", 0xF00B},
                                      {"serviceCode", 0x4399}, {"subsystem", 0}, {"fileNumber", 0x13},
                                      {"words", {0x01130B18, 0x1A, 2, 3}}},
                                 Json::parse(R"({"component":61440,"flags":8192,"severity":255,"eventType":0})")}));
    EXPECT_FALSE(j["traces"][0]["lines"].empty());
    ErrlEntry* none = nullptr;
    dumpCommitAndFreeLog(none);
    EXPECT_EQ(errlog().size(), 1u) << "a null entry commits nothing";

    for (uint32_t rc : {3u, 4u, 6u, 7u, 8u, 9u, 10u, 20u, 1u, 2u, 5u, 11u, 21u}) {
        ErrlEntry* c = dumpCreateErrorLog(rc, 0xF00B, 0x0113, 1, 0, 0, 0);
        bool spCode = rc == 3 || rc == 4 || (rc >= 6 && rc <= 10) || rc == 20;
        EXPECT_EQ(committed(c)["callouts"], Json::array({{{"priority", 6}, {"procedure", spCode ? 3 : 4}}})) << rc;
    }
}

TEST_F(ErrlHelpers, InfoLogReceivedErrorAndCallPoints) {
    ErrlEntry* e = dumpCreateInfoLog(0, 0xF01F, 0x0221, 4, 0x1A, 0, 0);
    Json j = committed(e);
    EXPECT_EQ(signature(j), "02211F04 1A 0 0 rc=0 sev=0");
    EXPECT_EQ((std::vector<Json>{j["eventType"], j["srcs"][0]["serviceCode"], j["srcs"][0]["subsystem"], j["callouts"]}),
              (std::vector<Json>{1, 0x43FF, 0x81, Json::array()}));

    for (uint16_t primaryReason : {uint16_t(0x1234), uint16_t(0xBAF7)}) {
        e = new ErrlEntry(0x1100, ERRL_SEV_UNRECOVERABLE, ERRL_ETYPE_NOT_APPLICABLE, SRCI_TYPE_FSP, 0, 0,
                          static_cast<serviceCodes>(0), primaryReason, 0, 0, 0, 0, EPUB_UNKNOWN, SRCI_TERM_STATE_NONE,
                          SRCI_FORMAT_NONE);
        e->setRC(77);
        addToReceivedError(e, 0xF0F0, 0x0813, 17, 5, 6, 7);
        j = committed(e);
        EXPECT_EQ(signature(j), "platform:" + hex(primaryReason) + " 0813F011 5 6 7 rc=" +
                                    (primaryReason == 0xBAF7 ? "4D" : "2") + " sev=40");
        EXPECT_EQ(srcFields(j["srcs"][1]), (Json{{"type", 0xB1}, {"component", 0xF000}, {"reasonCode", 0xF0F0},
                                                 {"serviceCode", 0x43FF}, {"subsystem", 0x81}, {"fileNumber", 0x13},
                                                 {"words", {0x0813F011, 5, 6, 7}}}));
    }

    SrciSrc src(0x2000, SRCI_TYPE_FSP, 0, 1, SVC_DUMP_FAILURE, 0xAAAA, 1, 2, 3, 4, EPUB_UNKNOWN);
    e = dumpCreateCtrmLog(9, 0xF0ED, 0x0421, 8, src);
    dumpAddFunctionCallPoint(e, 0x0221, 0x1F, 0x400);
    dumpAddFunctionCallPoint(nullptr, 0x0221, 0x1F, 0);  // tolerated
    EXPECT_EQ(signature(committed(e)), "platform:AAAA rc=9 sev=40 cp=0421:8:F0ED cp=0221:1F:400")
        << "the given SRC is the primary";
}

// (The buffer, key/value and registry sections show in the failure tables'
// signatures.)
TEST_F(ErrlHelpers, UserDataSectionsAreBigEndianImages) {
    // The registry section reads the dump keys and commits each failed read.
    platsim::setRegistry("dump/DumpPending", "\x01");
    platsim::setRegistryU32("dump/DumpPolicy", 0x00010002);
    platsim::setRegistryU32("dump/SystemDumpId", 0x0000001A);
    // dump/HwUnitDumpId is missing
    DumpRegistryInfo section(0xF000);
    std::vector<Json> before = errlog();
    ASSERT_EQ(before.size(), 1u) << "the failed read is committed";
    EXPECT_EQ(before[0]["commit"]["flags"], 0);
    EXPECT_EQ(attached(section), "DumpRegistryInfo=01000000" "00010002" "00000000" "0000001A" "00000000");

    std::list<std::string> strings = {"x", "yz"}, none;
    EXPECT_EQ(attached(DumpMultiKeyValueStringsInfo(0xF000, strings)), "DumpMultiKeyValueStringsInfo=783A3F3A797A3A3F3A");
    EXPECT_EQ(attached(DumpMultiKeyValueStringsInfo(0xF000, none)), "DumpMultiKeyValueStringsInfo=");
    EXPECT_EQ(attached(DumpTocEntryInfo(0xF000, 1, 0x02030405, 0xFFFFFFFF)), "DumpTocEntryInfo=0000000102030405FFFFFFFF");

    DumpClientRecord_t record;
    std::memset(&record, 0xEE, sizeof record);
    record.toolType = 0x01020304;
    std::memcpy(record.clientId, "0123456789abcdef0123456789ABCDEF", 32);
    std::strncpy(record.userId, "operator", sizeof record.userId);  // NUL-padded
    EXPECT_EQ(attached(DumpClientRecordInfo(0xF000, record)),
              "DumpClientRecordInfo=" +
                  hexOf(Bytes().u32(0x01020304).text("0123456789abcdef0123456789ABCDEF").field("operator", 33).fill(3)));

    hwFacilityEntry1 entry;
    for (uint32_t i = 0; i < 13; ++i) entry.word[i] = 0x10000000u * (i % 16) + i;
    entry.status = 0x5C;
    EXPECT_EQ(attached(DumpHwFacilityEntryInfo(0xF000, entry)), "DumpHwFacilityEntryInfo=C000000C" "00000000" "10000001"
              "30000003" "40000004" "50000005" "60000006" "90000009" "5C000000");
}

}  // namespace
