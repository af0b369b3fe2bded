// The fixture of the `platdump check` tests: a sound repository built
// through the library (every file mirrored to the backup), damage applied
// to it byte by byte, and the check run as a user runs it. Every run of
// the check must leave the names and bytes of every file under the
// simulation root as they were.
#pragma once

#include <tuple>

#include "tools/platdump/tests/toolTest.h"

namespace tooltest {

class CheckTest : public ToolTest {
public:
    using Found = std::tuple<std::string, Json, std::string>;  // kind, dump, path

    // `platdump check args`, asserting that nothing under the root changed.
    ToolRun check(std::vector<std::string> args = {"--json"}) {
        const Files before = files(root());
        args.insert(args.begin(), "check");
        ToolRun r = platdump(args);
        EXPECT_TRUE(files(root()) == before) << "check changed the files under the root";
        return r;
    }

    // The findings of a --json run as (kind, dump, path), in report order.
    static std::vector<Found> found(const ToolRun& r) {
        std::vector<Found> all;
        const Json report = r.json();
        for (const Json& f : report["findings"]) all.emplace_back(f["kind"], f["dump"], f["path"]);
        return all;
    }

    // A complete system dump with main store and a status log.
    void mirroredDump(unsigned int id) {
        completeDump(id, true);
        DumpStatusLogger(id).setSystemDumpRequested();
    }

    // The file on both processors, bytes written at offset (or appended
    // when offset is npos).
    void patchBoth(const std::string& spPath, size_t offset, const std::string& bytes) {
        for (const std::string& host : {primary(spPath), backup(spPath)}) patchFile(host, offset, bytes);
    }
    void resizeBoth(const std::string& spPath, size_t size) {
        for (const std::string& host : {primary(spPath), backup(spPath)}) std::filesystem::resize_file(host, size);
    }
};

}  // namespace tooltest
