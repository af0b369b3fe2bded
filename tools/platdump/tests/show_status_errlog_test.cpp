// `platdump show`, `status` and `errlog` run as a user runs them, on dumps
// and logs that the library made on the same simulation root.
#include "toolTest.h"

using namespace testsupport;
using namespace tooltest;

namespace {

class InspectCommand : public ToolTest {};

TEST_F(InspectCommand, ShowNamesEveryPartOfADump) {
    {
        auto dump = createDump(DumpSummary::SYS, 0x1A);
        char client[] = "offload-app", user[] = "ce01";
        dump->setClientId(client);
        dump->setUserId(user);
        dump->setToolType(7);
        dump->setDumpFlags(0x4000 | 0x0080);
        std::string data = "/plat_dump/0000001A.HwData0", toc = "/plat_dump/0000001A.HwTOC0";
        dump->SetHWDATAFileNames(0, data, toc);
        writeFile(primary(data), std::string(100, 'd'));
        dump->SetTotalHDCTItemCount(4);
        SrciSrc src(0xF000, SRCI_TYPE_FSP, 0, 0x13, SVC_DUMP_FAILURE, 0xF0EE, 0x0113EE05, 2, 3, 4,
                    EPUB_FIRMWARE_SP);
        dump->SaveFlattenedSRC(src);
        dump->flush();
    }
    ToolRun r = platdump({"show", "1a", "--json"});
    ASSERT_EQ(r.code, 0) << r.err;
    Json shown = r.json();
    for (const char* decoded : {"fileHeader", "summary", "summaryFileSize"}) shown.erase(decoded);  // parse's
    // Progress 100: hardware collection done, no main-store phase; the TOC
    // was never written. The SRC's words and codes are those given above.
    EXPECT_EQ(shown, Json::parse(R"({"dumpId": 26, "kind": "SYS", "summaryFile": "/plat_dump/SYSDUMP.0000001A.summary",
        "state": {"dumpFileName": "SYSDUMP.AB12CD3.0000001A.20261205203015", "complete": false, "progress": 100,
                  "hardwareProgress": 100, "dataSize": 100, "dumpSize": 0},
        "files": [{"field": "hwTocFileName[0]", "name": "/plat_dump/0000001A.HwTOC0", "recordedSize": 0, "size": null},
                  {"field": "hwDataFileName[0]", "name": "/plat_dump/0000001A.HwData0", "recordedSize": 100,
                   "size": 100}],
        "counters": {"tceErrorCount": 0, "dmaErrorCount": 0, "privateFlags": 0, "totalHdctItemCount": 4,
                     "finishedHdctItemCount": 0},
        "clientRecord": {"toolType": 7, "clientId": "offload-app", "userId": "ce01"},
        "src": {"type": 177, "component": 61440, "reasonCode": 61678, "serviceCode": 17305, "subsystem": 129,
                "fileNumber": 19, "words": [18083333, 2, 3, 4], "ascii": "B181F0EE", "extraLength": 0,
                "location": {"word": 18083333, "moduleId": 275, "source": "dumpSummary", "function": 1,
                             "locationIndex": 5, "matchesReasonCode": true}},
        "flattenedSrcLength": 44, "findings": []})"));

    r = platdump({"show", "0x0000001A"});
    ASSERT_EQ(r.code, 0) << r.err;
    for (const char* text : {"Dump 0x0000001A (SYS)", "dumpCreationTime", "hwTocFileName[0]", "missing now",
                             "offload-app", "location word 0x0113EE05: module 0x0113 (dumpSummary"})
        EXPECT_NE(r.out.find(text), std::string::npos) << text << " in\n" << r.out;
}

TEST_F(InspectCommand, ShowFindsEachKindAndReportsWhatItCannotOpen) {
    createDump(DumpSummary::HWU, 0x0100002B);
    createDump(DumpSummary::RSC, 0xC3D);  // a resource id says nothing of its kind
    EXPECT_EQ(platdump({"show", "0100002B", "--json"}).json()["fileHeader"]["sections"].size(), 2u);
    EXPECT_EQ(platdump({"show", "c3d", "--json"}).json()["kind"], "RSC");

    writeFile(primary("/plat_dump/notes.txt"), "kept");
    ToolRun r = platdump({"show", "1B"});
    EXPECT_EQ(r.code, 1);
    EXPECT_EQ(r.err, "platdump show: no dump 0x0000001B in /plat_dump\n");
    EXPECT_TRUE(fileExists(primary("/plat_dump/notes.txt")));  // nothing was opened, nothing swept

    createDump(DumpSummary::SYS, 0x1C);
    patchFile(primary("/plat_dump/SYSDUMP.0000001C.summary"), 208, "BAD DUMP");
    r = platdump({"show", "1C"});
    EXPECT_EQ(r.code, 1);
    EXPECT_NE(r.err.find("the library cannot open dump 0x0000001C"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("location word 0x01130B27: module 0x0113 (dumpSummary, function 1), location 0x27"),
              std::string::npos)
        << r.err;
}

TEST_F(InspectCommand, StatusShowsEventsWithDatesAndKeepsOtherLines) {
    DumpStatusLogger log(0x1A);
    log.setSystemDumpRequested();
    platsim::setClock(kClock + 75);
    log.setStartCollectionPhase(3);
    std::string path = primary("/plat_dump/dumpstatus.0000001A");
    writeFile(path, readFile(path) + "half a line");

    ToolRun r = platdump({"status", "1A", "--json"});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.json()["events"], Json::parse(R"([
        {"line": 1, "event": "SYSTEM_DUMP_REQ", "seconds": 1796502615, "time": "2026-12-05 20:30:15 UTC"},
        {"line": 2, "event": "HWCOLLECTION_PHASE3_START", "seconds": 1796502690, "time": "2026-12-05 20:31:30 UTC"},
        {"line": 3, "event": null, "text": "half a line"}])"));

    r = platdump({"status", "1A"});
    EXPECT_NE(r.out.find("2026-12-05 20:31:30 UTC  +75 s  HWCOLLECTION_PHASE3_START"), std::string::npos) << r.out;
}

// Every command takes its ID through the same option; status stands for
// them (the forms refused are in the command-line table).
TEST_F(InspectCommand, AnIdIsHexadecimalInEveryForm) {
    DumpStatusLogger(0xFFFFFFFF).setSystemDumpRequested();
    DumpStatusLogger(0x1A).setSystemDumpRequested();
    for (const char* id : {"1A", "1a", "0x1A", "0X1a", "0000001A", "0x0000001a"})
        EXPECT_EQ(platdump({"status", id, "--json"}).json()["dumpId"], 0x1A) << id;
    EXPECT_EQ(platdump({"status", "FFFFFFFF", "--json"}).json()["dumpId"], 0xFFFFFFFFu);
}

TEST_F(InspectCommand, ErrlogDecodesLocationsCallPointsAndSections) {
    ErrlEntry* e = dumpCreateErrorLog(1, 0xF00B, 0x0113, 9, 0x1A, 0, 0);
    dumpAddFunctionCallPoint(e, 0x0221, 0x20, 0x1A);
    dumpAddDetails(DumpKeyValueStringInfo(DUMP_COMPONENT_ID, "Open existing file", "/plat_dump/x"), e);
    dumpAddDetails(DumpBufferDataInfo(DUMP_COMPONENT_ID, 0x1000, 64, 0, 4096), e);
    DumpClientRecord_t client{7, "offload-app", "ce01", {}};
    dumpAddDetails(DumpClientRecordInfo(DUMP_COMPONENT_ID, client), e);
    dumpCommitAndFreeLog(e);

    ToolRun r = platdump({"errlog", "--json"});
    ASSERT_EQ(r.code, 0) << r.err;
    Json entries = r.json()["entries"];
    ASSERT_EQ(entries.size(), 1u);
    // Module 0x0113 location 9 with reason 0xF00B; call point 0x0221 0x20.
    EXPECT_EQ(entries[0]["srcs"][0]["location"], Json::parse(R"({"word": 18025225, "moduleId": 275,
        "source": "dumpSummary", "function": 1, "locationIndex": 9, "matchesReasonCode": true})"));
    EXPECT_EQ(entries[0]["callPoints"], Json::parse(R"([{"component": 61440, "moduleId": 545,
        "source": "dumpExtractData", "function": 2, "locationIndex": 32, "word": 26}])"));
    EXPECT_EQ(entries[0]["userData"], Json::parse(R"([
        {"type": "DumpKeyValueStringInfo", "sectionLength": 34, "key": "Open existing file", "value": "/plat_dump/x"},
        {"type": "DumpBufferDataInfo", "sectionLength": 16, "buffer": 4096, "length": 64, "positionHigh": 0,
         "positionLow": 4096},
        {"type": "DumpClientRecordInfo", "sectionLength": 72, "toolType": 7, "clientId": "offload-app",
         "userId": "ce01"}])"));
}

// Lines of the error-log file that are no entry, whose members are of
// other types than an entry's (a float for an unsigned number among them),
// or that nest deeper than any entry are shown as no entry; none stops the
// tool (each of these once ended it with an uncaught exception, a read
// past a member that was not there, an undefined conversion or a stack
// overflow). A section whose hex text is damaged keeps
// it, the rest of its entry decoded; a location an SRC brings along is
// not taken for a decoded one.
TEST_F(InspectCommand, ErrlogShowsDamagedLinesAsNoEntry) {
    const std::string damaged[] = {
        R"({"plid":2,"traces":[{"buffer":"dump","lines":[1]}]})",
        R"({"plid":3,"srcs":[{"component":61440,"words":["a"]}]})",
        R"({"plid":4,"srcs":{"a":1}})",
        R"({"plid":5,"srcs":[{"ascii":7}]})",
        R"({"unreadable":1})",
        R"({"plid":8,"callPoints":[{"component":3e121}]})",
        R"({"plid":9,"srcs":[{"component":61440,"words":[1.5]}]})",
        R"({"plid":7,"x":)" + std::string(100000, '[') + std::string(100000, ']') + "}",
    };
    std::string file = R"({"plid":1,"userData":[{"type":"DumpKeyValueStringInfo","hex":"zz"}]})" "\n";
    for (const std::string& line : damaged) file += line + "\n";
    file += R"({"plid":6,"srcs":[{"component":17,"location":7}]})" "\n";
    writeFile(platsim::errlogPath(), file);

    ToolRun r = platdump({"errlog", "--json"});
    ASSERT_EQ(r.code, 0) << r.err;
    Json entries = r.json()["entries"];
    ASSERT_EQ(entries.size(), 10u);
    EXPECT_EQ(entries[0]["userData"][0], (Json{{"type", "DumpKeyValueStringInfo"}, {"damagedHex", "zz"}}));
    for (size_t i = 0; i < 8; ++i)
        EXPECT_EQ(entries[i + 1], (Json{{"line", i + 2}, {"unreadable", damaged[i]}})) << i;
    EXPECT_EQ(entries[9]["srcs"][0], (Json{{"component", 17}}));

    r = platdump({"errlog"});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_NE(r.out.find("damagedHex  zz"), std::string::npos) << r.out;
    for (size_t i = 0; i < 8; ++i)
        EXPECT_NE(r.out.find("line " + std::to_string(i + 2) + " is no entry: " + damaged[i]), std::string::npos)
            << i;
}

}  // namespace
