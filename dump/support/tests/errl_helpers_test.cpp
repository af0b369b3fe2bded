// The error-log helpers, read back from the simulation's committed log.
#include "platdump/dumpErrl.h"
#include "platdump/dumpUsrData.h"
#include "platform/sim/platsim.h"
#include "tests/common/simTest.h"

using namespace testsupport;

namespace {

class ErrlHelpers : public SimTest {};

// Commits e and returns its record.
Json committed(ErrlEntry*& e) {
    dumpCommitAndFreeLog(e);
    std::vector<std::string> lines = platsim::committedErrorLogs();
    return lines.empty() ? Json() : Json::parse(lines.back());
}

// An SRC's record without its ASCII text.
Json srcFields(Json src) {
    src.erase("ascii");
    return src;
}

TEST_F(ErrlHelpers, ErrorLogCarriesTheLibrarysSrcLocationWordAndTrace) {
    ErrlEntry* e = dumpCreateErrorLog(1, 0xF00B, 0x0113, 0x18, 0x1A, 2, 3);
    ASSERT_NE(e, nullptr);
    Json j = committed(e);
    EXPECT_EQ(e, nullptr) << "commit nulls the caller's pointer";
    EXPECT_EQ((std::vector<Json>{j["creator"], j["rc"], j["severity"], j["eventType"]}),
              (std::vector<Json>{0xF000, 1, 0x20, 0}));
    ASSERT_EQ(j["srcs"].size(), 1u);
    EXPECT_EQ(srcFields(j["srcs"][0]), (Json{{"type", 0xB1}, {"component", 0xF000}, {"reasonCode", 0xF00B},
                                             {"serviceCode", 0x4399}, {"subsystem", 0}, {"fileNumber", 0x13},
                                             {"words", {0x01130B18, 0x1A, 2, 3}}}));
    EXPECT_EQ(j["traces"][0]["buffer"], "dump");
    EXPECT_FALSE(j["traces"][0]["lines"].empty());
    EXPECT_EQ(j["commit"], Json::parse(R"({"component":61440,"flags":8192,"severity":255,"eventType":0})"));

    ErrlEntry* none = nullptr;
    dumpCommitAndFreeLog(none);
    EXPECT_EQ(none, nullptr);
    EXPECT_EQ(errlog().size(), 1u) << "a null entry commits nothing";
}

TEST_F(ErrlHelpers, CalloutProcedureFollowsTheReturnCode) {
    for (uint32_t rc : {3u, 4u, 6u, 7u, 8u, 9u, 10u, 20u, 1u, 2u, 5u, 11u, 21u}) {
        ErrlEntry* e = dumpCreateErrorLog(rc, 0xF00B, 0x0113, 1, 0, 0, 0);
        ASSERT_EQ(e->callouts().size(), 1u);
        bool spCode = rc == 3 || rc == 4 || (rc >= 6 && rc <= 10) || rc == 20;
        EXPECT_EQ(e->callouts()[0].procedure, spCode ? 3 : 4) << "rc " << rc;
        EXPECT_EQ(e->callouts()[0].priority, 6);
        delete e;
    }
}

TEST_F(ErrlHelpers, InfoLogIsANoticeWithoutCalloutOrTrace) {
    ErrlEntry* e = dumpCreateInfoLog(0, 0xF01F, 0x0221, 4, 0x1A, 0, 0);
    Json j = committed(e);
    EXPECT_EQ(j["severity"], 0);
    EXPECT_EQ(j["eventType"], 1);
    EXPECT_EQ(j["srcs"][0]["serviceCode"], 0x43FF);
    EXPECT_EQ(j["srcs"][0]["subsystem"], 0x81);
    EXPECT_EQ(locationWord(j), 0x02211F04u);
    EXPECT_TRUE(j["callouts"].empty());
    EXPECT_TRUE(j["traces"].empty());
}

TEST_F(ErrlHelpers, ReceivedErrorGetsTheLibrarysSrcAndReturnCodeTwoUnlessBaf7) {
    for (uint16_t primaryReason : {uint16_t(0x1234), uint16_t(0xBAF7)}) {
        ErrlEntry* e = new ErrlEntry(0x1100, ERRL_SEV_UNRECOVERABLE, ERRL_ETYPE_NOT_APPLICABLE,
                                     SRCI_TYPE_FSP, 0, 0, static_cast<serviceCodes>(0),
                                     primaryReason, 0, 0, 0, 0, EPUB_UNKNOWN,
                                     SRCI_TERM_STATE_NONE, SRCI_FORMAT_NONE);
        e->setRC(77);
        addToReceivedError(e, 0xF0F0, 0x0813, 17, 5, 6, 7);
        Json j = committed(e);
        ASSERT_EQ(j["srcs"].size(), 2u);
        EXPECT_EQ(j["rc"], primaryReason == 0xBAF7 ? 77 : 2);
        EXPECT_EQ(srcFields(j["srcs"][1]), (Json{{"type", 0xB1}, {"component", 0xF000}, {"reasonCode", 0xF0F0},
                                                 {"serviceCode", 0x43FF}, {"subsystem", 0x81}, {"fileNumber", 0x13},
                                                 {"words", {0x0813F011, 5, 6, 7}}}));
    }
}

TEST_F(ErrlHelpers, CallPointsCtrmLogAndUniqueLocation) {
    EXPECT_EQ(dumpCreateUniqueLocation(0xF00B, 0x0113, 0x18), 0x01130B18u);
    EXPECT_EQ(dumpCreateUniqueLocation(0xF10B, 0x0113, 0x18), 0x01130B18u)
        << "only the reason code's low byte is kept";

    SrciSrc src(0x2000, SRCI_TYPE_FSP, 0, 1, SVC_DUMP_FAILURE, 0xAAAA, 1, 2, 3, 4, EPUB_UNKNOWN);
    ErrlEntry* e = dumpCreateCtrmLog(9, 0xF0ED, 0x0421, 8, src);
    dumpAddFunctionCallPoint(e, 0x0221, 0x1F, 0x400);
    dumpAddFunctionCallPoint(nullptr, 0x0221, 0x1F, 0);  // tolerated
    Json j = committed(e);
    EXPECT_EQ(j["rc"], 9);
    EXPECT_EQ(j["severity"], 0x40);
    EXPECT_EQ(j["srcs"][0]["reasonCode"], 0xAAAA) << "the given SRC is the primary";
    EXPECT_EQ(j["callPoints"], Json::parse(R"([{"component":61440,"function":1024,"file":33,"location":8,"word":61677},
                                               {"component":61440,"function":512,"file":33,"location":31,"word":1024}])"));
}

}  // namespace
