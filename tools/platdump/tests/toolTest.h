// The fixture of the platdump tests: the tool is run as a user runs it, a
// separate process (through the emulator of a cross build) on the test's
// fresh simulation root, either with its output going to files (as in a
// pipe) or on a pseudo-terminal. Dumps are set up in-process through the
// library, on the same root.
#pragma once

#include <fcntl.h>
#include <pty.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdint>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "platdump/platdump.h"
#include "platform/sim/platsim.h"
#include "tests/common/simTest.h"

namespace tooltest {

using testsupport::Json;

struct ToolRun {
    int code;
    std::string out;  // on a terminal: everything the terminal showed
    std::string err;
    Json json() const { return Json::parse(out); }
};

class ToolTest : public testsupport::SimTest {
protected:
    void SetUp() override {
        SimTest::SetUp();
        platsim::setClock(kClock);
        platsim::setRegistry("svpd/Raw_MachineSerialNumber", "ab12cd3");
    }

    // The tool with args, stdout and stderr each going to a file. env:
    // "NAME=value" sets a variable for the tool, "-NAME" unsets it.
    ToolRun platdump(const std::vector<std::string>& args, const std::vector<std::string>& env = {}) {
        const std::string out = root() + "/tool.out", err = root() + "/tool.err";
        pid_t pid = testsupport::forkChild([&] {
            int o = ::open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            int e = ::open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            if (o < 0 || e < 0 || ::dup2(o, 1) < 0 || ::dup2(e, 2) < 0) return 126;
            for (const std::string& v : env)
                if (v[0] == '-')
                    ::unsetenv(v.c_str() + 1);
                else
                    ::putenv(const_cast<char*>(v.c_str()));
            return exec(args);
        });
        int code = testsupport::waitChild(pid);
        return ToolRun{code, testsupport::readFile(out), testsupport::readFile(err)};
    }

    // The tool with args on a pseudo-terminal (stdin, stdout and stderr).
    ToolRun onTerminal(const std::vector<std::string>& args) {
        std::fflush(nullptr);
        int master = -1;
        pid_t pid = ::forkpty(&master, nullptr, nullptr, nullptr);
        if (pid == 0) ::_exit(exec(args));
        std::string shown;
        char buf[4096];
        for (ssize_t n; pid > 0 && (n = ::read(master, buf, sizeof buf)) > 0;)
            shown.append(buf, static_cast<size_t>(n));
        if (master >= 0) ::close(master);
        return ToolRun{pid > 0 ? testsupport::waitChild(pid) : -2000, shown, ""};
    }

    // A new dump of kind type, its handle kept by the caller.
    std::unique_ptr<DumpSummary> createDump(DumpSummary::typeOfSummary_t type, unsigned int id) {
        ErrlEntry* errl = nullptr;
        auto dump = std::make_unique<DumpSummary>(type, id, errl);
        EXPECT_EQ(errl, nullptr);
        delete errl;
        return dump;
    }

    // Points of completeDump at which a test makes something happen to the
    // dump being collected.
    enum class CollectionStep {
        SectionsWritten,   // the nodal sections are written, their files not yet named
        BeforeCompletion,  // everything is recorded; setDumpComplete comes next
    };
    using CollectionHook = std::function<void(CollectionStep, DumpSummary&)>;

    // A complete system dump: one node group (a hardware section of three
    // items, a service-processor section of one), a system section of one
    // registry value and, with main store, an MDRT of one 5000-byte region; the system state
    // lets it be extracted. hook, when given, is called at each step.
    void completeDump(unsigned int id, bool mainStore, const CollectionHook& hook = {}) {
        auto at = [&](CollectionStep step, DumpSummary& d) {
            if (hook) hook(step, d);
        };
        platsim::setRegistry("iplp/SysOpMode", std::string(1, '\x02'));
        platsim::setRegistry("smgr/StateData", std::string("\0\0\0\x09", 4) + std::string(52, '\0'));
        auto dump = createDump(DumpSummary::SYS, id);
        std::string toc = "HwTOC." + std::to_string(id), data = "HwData." + std::to_string(id);
        std::string spToc = "SpTOC." + std::to_string(id), spData = "SpData." + std::to_string(id);
        {
            DumpNodalSection hw(DumpNodalSection::HWDATA, dump.get());
            EXPECT_EQ(hw.createNodalFiles(toc, data, 0), nullptr);
            for (uint32_t i = 0; i < 3; ++i) {
                orlaDataBuffer bits(100 + 50 * i);
                bits.setByte(0, static_cast<uint8_t>(0xA0 + i));
                DumpHwTocEntry entry{1, i, 0, 0, 0, 0, 0};
                EXPECT_EQ(hw.writeEntry(entry, bits), nullptr);
            }
            DumpNodalSection sp(DumpNodalSection::SPDATA, dump.get());
            EXPECT_EQ(sp.createNodalFiles(spToc, spData, 0), nullptr);
            char item[] = "service processor item";
            DumpSpTocEntry entry{0xF2000000, 0, sizeof item};
            EXPECT_EQ(sp.writeEntry(entry, item), nullptr);
            ErrlEntry* errl = nullptr;
            DumpSystemNodal system(dump.get(), errl);
            EXPECT_EQ(errl, nullptr);
            EXPECT_TRUE(system.SaveRegistryNVPair("svpd/Raw_MachineSerialNumber", true));
        }
        at(CollectionStep::SectionsWritten, *dump);
        dump->SetHWDATAFileNames(0, data, toc);
        dump->SetSPDATAFileNames(0, spData, spToc);
        dump->setHardwareNodeCount(1);
        if (mainStore) {
            platsim::writeMainStore(0x100000, std::string(5000, 'm'));
            std::string mdrt = "/plat_dump/MDRT." + std::to_string(id);
            testsupport::Bytes entry;  // address at 8, length at 20
            entry.u64(0).u64(0x100000).u32(0).u32(5000).u64(0);
            DumpUtilFile file(mdrt.c_str());  // written as a collector writes it, mirrored
            EXPECT_EQ(file.open("w+"), nullptr);
            EXPECT_EQ(file.write(entry.bytes().data(), static_cast<uint32_t>(entry.size())), entry.size());
            file.Close();
            dump->setMDRTFileName(mdrt, 32);
            dump->setMDRTTableSize(32);
            dump->setMemoryDumpSize(5000);
            dump->setDumpFlagsByMask(0x2000);
        }
        at(CollectionStep::BeforeCompletion, *dump);
        dump->setDumpComplete();
    }

    // The whole stream of dump id as the library serves it in-process.
    std::string extracted(unsigned int id, bool mainStore) {
        DumpExtractData extract;
        dumpDMAEhandle handle{};
        std::string stream, buffer(1u << 20, '\0');
        for (;;) {
            unsigned int length = static_cast<unsigned int>(buffer.size());
            ErrlEntry* e = extract.ExtractDump(id, stream.size(), length, buffer.data(), mainStore, &handle);
            stream.append(buffer, 0, length);
            delete e;
            if (e || length == 0) return stream;
        }
    }

    static constexpr int64_t kClock = 1796502615;  // 2026-12-05 20:30:15 UTC

private:
    static int exec(const std::vector<std::string>& args) {
        std::vector<std::string> argv;
        std::istringstream emulator(PLATDUMP_TOOL_EMULATOR);
        for (std::string word; emulator >> word;) argv.push_back(word);
        argv.push_back(PLATDUMP_TOOL);
        argv.insert(argv.end(), args.begin(), args.end());
        std::vector<char*> ptrs;
        for (std::string& a : argv) ptrs.push_back(a.data());
        ptrs.push_back(nullptr);
        ::execvp(ptrs[0], ptrs.data());
        return 127;
    }
};

}  // namespace tooltest
