// Fixture of the repository tests: a repository builder that makes dumps
// through the library (summary, recorded nodal files, status log, all
// mirrored to the backup) and foreign entries, and remembers every name a
// readable dump claims.
#pragma once

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "platdump/platdump.h"
#include "platform/sim/platsim.h"
#include "tests/common/simTest.h"

namespace repotest {

using testsupport::Json;
using testsupport::taken;
using Names = std::vector<std::string>;
using Type = DumpSummary::typeOfSummary_t;
constexpr uint16_t kComplete = 0x8000, kSetApart = 0x0081;

inline std::string hex8(unsigned id) {
    char s[9];
    std::snprintf(s, sizeof s, "%08X", id);
    return s;
}
inline std::string inRepo(const std::string& name) { return "/plat_dump/" + name; }
inline uint32_t word(uint16_t module, uint8_t location) { return (uint32_t(module) << 16) | 0x0B00 | location; }
// The last call point of an entry: function, file, location, word.
inline Json lastCallPoint(const Json& e) {
    const Json& p = e["callPoints"].back();
    return Json::array({p["function"], p["file"], p["location"], p["word"]});
}

class RepositoryTest : public testsupport::SimTest {
protected:
    void SetUp() override {
        SimTest::SetUp();
        platsim::setRegistry("svpd/Raw_MachineSerialNumber", "SN12345");
    }
    // A dump with its flags, status log and `files` recorded pairs of
    // hardware nodal files; what creation could not read of the machine is
    // dropped from the error log.
    void dump(Type type, unsigned id, uint16_t flags = 0, unsigned files = 0) {
        ErrlEntry* errl = nullptr;
        DumpSummary s(type, id, errl);
        ASSERT_EQ(errl, nullptr);
        s.setDumpFlags(flags);
        const char* prefix[] = {"", "HWUDUMP.", "SYSDUMP.", "RESDUMP."};
        claimed.push_back(inRepo(prefix[type] + hex8(id) + ".summary"));
        for (unsigned i = 0; i < files; ++i) {
            std::string data = inRepo(hex8(id) + ".HwData" + std::to_string(i));
            std::string toc = inRepo(hex8(id) + ".HwToc" + std::to_string(i));
            s.SetHWDATAFileNames(i, data, toc);
            write(data);
            write(toc);
            claimed.insert(claimed.end(), {data, toc});
        }
        DumpStatusLogger(id).setSystemDumpRequested();
        claimed.push_back(inRepo("dumpstatus." + hex8(id)));
        std::remove(platsim::errlogPath().c_str());
    }
    // A file written through the library, so the backup has it too.
    void write(const std::string& path) {
        DumpUtilFile f(path.c_str());
        delete f.open("w+");
        f.write("data", 4);
        f.Close();
    }
    // A foreign entry, on this side only.
    void foreign(const std::string& name) { testsupport::writeFile(primary(inRepo(name)), "x"); }
    // The entries of /plat_dump on one side, sorted.
    Names entries(bool onBackup = false) const {
        Names names;
        const std::string dir = onBackup ? backup("/plat_dump") : primary("/plat_dump");
        for (const auto& e : std::filesystem::directory_iterator(dir)) names.push_back(e.path().filename());
        std::sort(names.begin(), names.end());
        return names;
    }
    std::unique_ptr<DumpSummary> open(unsigned id, Type type) {
        ErrlEntry* errl = nullptr;
        std::unique_ptr<DumpSummary> s(new DumpSummary(id, errl, type));
        EXPECT_EQ(taken(errl), Json());
        return s;
    }

    Names claimed;  // full paths, in the order made
};

}  // namespace repotest
