// The resource tree as clients of the management world walk it:
// redfishtool, the event stream with curl -N while another process
// collects and deletes a dump, and deletion through the server.
#include "serveTest.h"

using namespace servetest;

namespace {

class ServeClients : public ServeTest {
protected:
    Json redfishtool(const std::vector<std::string>& args) {
        std::vector<std::string> argv{"redfishtool", "-r", base.substr(std::string("http://").size()), "-S", "Never"};
        argv.insert(argv.end(), args.begin(), args.end());
        ToolRun r = run(argv);
        EXPECT_EQ(r.code, 0) << r.out << r.err;
        return Json::parse(r.out, nullptr, false);
    }

    // Waits up to 20 s for text in the file.
    static bool appears(const std::string& file, const std::string& text) {
        for (int i = 0; i < 2000; ++i) {
            if (readFile(file).find(text) != std::string::npos) return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return false;
    }
};

TEST_F(ServeClients, RedfishtoolWalksToTheDumpEntries) {
    createDump(DumpSummary::SYS, 0x2B);  // not complete: listed all the same
    startServer();

    EXPECT_EQ(redfishtool({"versions"}), Json({{"v1", "/redfish/v1/"}}));
    EXPECT_EQ(redfishtool({"root"})["@odata.id"], "/redfish/v1");

    Json entries = redfishtool({"Systems", "-I", "system", "Logs", "-i", "Dump", "-E"});
    ASSERT_EQ(entries["Members@odata.count"], 2) << entries;
    EXPECT_EQ(entries["@odata.type"], "#LogEntryCollection.LogEntryCollection");
    const Json& demo = entries["Members"][0];
    EXPECT_EQ(std::tie(demo["Id"], demo["@odata.type"], demo["DiagnosticDataType"], demo["OEMDiagnosticDataType"]),
              std::make_tuple("0000001A", "#LogEntry.v1_17_0.LogEntry", "OEM", "SYS"));
    EXPECT_EQ(demo["AdditionalDataURI"], "/redfish/v1/Systems/system/LogServices/Dump/Entries/0000001A/attachment");
    EXPECT_EQ(demo["Oem"]["Platdump"]["Complete"], true);
    EXPECT_EQ(demo["Oem"]["Platdump"]["Progress"], 100);
    const Json& open = entries["Members"][1];
    EXPECT_EQ(std::tie(open["Id"], open["Created"]), std::make_tuple("0000002B", "2026-12-05T20:30:15+00:00"));
    EXPECT_EQ(open["Oem"]["Platdump"]["Complete"], false);
    EXPECT_TRUE(open["AdditionalDataSizeBytes"].is_null());

    EXPECT_EQ(redfishtool({"raw", "GET", "/redfish/v1/Systems/system/LogServices/Dump/Entries/0000001A"}), demo);
    // Its stream's size, as curl counts it.
    ToolRun size = curl({"-o", "/dev/null", "-w", "%{size_download}", attachment("1A")});
    EXPECT_EQ(size.out, std::to_string(demo["AdditionalDataSizeBytes"].get<uint64_t>()));
    Json service = Json::parse(curl({base + "/redfish/v1/Systems/system/LogServices/Dump"}).out);
    EXPECT_EQ(service["@odata.type"], "#LogService.v1_7_0.LogService");
    EXPECT_EQ(service["OverWritePolicy"], "NeverOverWrites");
    EXPECT_EQ(service["DateTime"], "2026-12-05T20:30:15+00:00");
    EXPECT_EQ(service["Entries"]["@odata.id"], "/redfish/v1/Systems/system/LogServices/Dump/Entries");
}

TEST_F(ServeClients, EventsOfACollectionAndADeletionByOtherProcesses) {
    startServer();
    const std::string events = root() + "/events";
    background({"curl", "-sN", base + "/redfish/v1/EventService/SSE"}, events);
    ASSERT_TRUE(appears(events, ": platdump dump events"));

    const std::string origin = "\"OriginOfCondition\":{\"@odata.id\":\"/redfish/v1/Systems/system/LogServices/Dump/Entries/0000002B\"}";
    {
        auto dump = createDump(DumpSummary::SYS, 0x2B);
        ASSERT_TRUE(appears(events, "ResourceCreated\",\"Message\":\"The resource has been created successfully.\""
                                    ",\"MessageSeverity\":\"OK\"," + origin));
        dump->SetTotalHDCTItemCount(4);
        dump->IncrementFinishedHDCTItemCount();
        dump->IncrementFinishedHDCTItemCount();
        ASSERT_TRUE(appears(events, "\"Complete\":false,\"Progress\":50"));
        dump->setDumpComplete();
        ASSERT_TRUE(appears(events, "\"Complete\":true,\"Progress\":100"));
    }
    ToolRun deleted = platdump({"delete", "2B"});
    ASSERT_EQ(deleted.code, 0) << deleted.err;
    ASSERT_TRUE(appears(events, "ResourceRemoved"));
    const std::string seen = readFile(events);
    EXPECT_NE(seen.find("id: 1\ndata: {\"@odata.type\":\"#Event.v1_10_0.Event\",\"Id\":\"1\""), std::string::npos)
        << seen;
    EXPECT_NE(seen.find("ResourceEvent.1.3.ResourceRemoved\",\"Message\":\"The resource has been removed "
                        "successfully.\",\"MessageSeverity\":\"OK\"," + origin),
              std::string::npos)
        << seen;
    EXPECT_EQ(stopServer(), 0) << serverLog();
}

TEST_F(ServeClients, DeleteRemovesTheDumpOrShowsTheLibrarysErrorLog) {
    platsim::setFault("UtilSemaphore.Down", "match=dump.3");  // no deletion while extraction is barred
    startServer();
    const std::string body = root() + "/body";
    EXPECT_EQ(status({"-X", "DELETE", entry("1A")}, body), "500");
    Json error = Json::parse(readFile(body));
    EXPECT_EQ(error["error"]["message"], "the library did not delete dump 0x0000001A (/plat_dump/SYSDUMP.0000001A.summary)");
    const Json& logs = error["error"]["@Message.ExtendedInfo"][0]["Oem"]["Platdump"]["ErrorLogs"];
    ASSERT_EQ(logs.size(), 1u) << error;
    bool semaphoreCallPoint = false;  // DeleteDump could not take the extraction semaphore
    for (const Json& c : logs[0]["callPoints"])
        semaphoreCallPoint |= c["moduleId"] == 0x030D && c["locationIndex"] == 0x21;
    EXPECT_TRUE(semaphoreCallPoint) << logs;

    platsim::clearFaults();
    ASSERT_EQ(status({"-X", "DELETE", entry("1A")}), "204") << serverLog();
    EXPECT_EQ(status({entry("1A")}), "404");
    EXPECT_TRUE(platdump({"list", "--json"}).json()["dumps"].empty());
}

}  // namespace
