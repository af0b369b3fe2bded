// The fixture of the platdump tests: the tool, and the clients that reach
// it, are run as a user runs them, separate processes (the tool through the
// emulator of a cross build) on the test's fresh simulation root, their
// output going to files (as in a pipe) or to a pseudo-terminal. Dumps are
// set up in-process through the library, on the same root.
#pragma once

#include <fcntl.h>
#include <pty.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "platdump/platdump.h"
#include "platform/sim/platsim.h"
#include "tests/common/dumpTest.h"
#include "tests/common/simTest.h"

namespace tooltest {

using testsupport::Json;
using Files = std::map<std::string, std::string>;  // name -> bytes

struct ToolRun {
    int code;         // exit code, -(signal) when killed, -1000 when it timed out
    std::string out;  // on a terminal: everything the terminal showed
    std::string err;
    Json json() const { return Json::parse(out); }
};

// Two byte strings compared without printing them: their sizes and the
// first offset where they differ.
inline ::testing::AssertionResult sameBytes(const std::string& got, const std::string& expected) {
    if (got == expected) return ::testing::AssertionSuccess();
    const auto i = std::mismatch(got.begin(), got.end(), expected.begin(), expected.end()).first - got.begin();
    return ::testing::AssertionFailure() << "got " << got.size() << " bytes, expected " << expected.size()
                                         << "; they differ from offset " << i;
}

class ToolTest : public testsupport::SimTest {
public:  // tables of damages and scenarios reach the helpers
    using SimTest::backup;
    using SimTest::primary;

    void SetUp() override {
        SimTest::SetUp();
        platsim::setClock(kClock);
        platsim::setRegistry("svpd/Raw_MachineSerialNumber", "ab12cd3");
    }

    void TearDown() override {
        for (pid_t pid : iv_children) {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, nullptr, 0);
        }
        SimTest::TearDown();
    }

    // argv run to its end (killed after two minutes), stdout and stderr
    // each going to a file. env: "NAME=value" sets a variable for it,
    // "-NAME" unsets it.
    ToolRun run(const std::vector<std::string>& argv, const std::vector<std::string>& env = {}) {
        const std::string out = root() + "/tool.out", err = root() + "/tool.err";
        const pid_t pid = spawn(argv, ::open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644),
                                ::open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644), env);
        const int code = waitFor(pid, 120);
        EXPECT_NE(code, 127) << argv[0] << " cannot be run: scripts/deps.sh installs it";
        return ToolRun{code, testsupport::readFile(out), testsupport::readFile(err)};
    }

    ToolRun platdump(const std::vector<std::string>& args, const std::vector<std::string>& env = {}) {
        return run(toolArgv(args), env);
    }

    // The tool with args on a pseudo-terminal (stdin, stdout and stderr).
    ToolRun onTerminal(const std::vector<std::string>& args) {
        std::fflush(nullptr);
        int master = -1;
        pid_t pid = ::forkpty(&master, nullptr, nullptr, nullptr);
        if (pid == 0) exec(toolArgv(args));
        std::string shown;
        char buf[4096];
        for (ssize_t n; pid > 0 && (n = ::read(master, buf, sizeof buf)) > 0;)
            shown.append(buf, static_cast<size_t>(n));
        if (master >= 0) ::close(master);
        return ToolRun{pid > 0 ? testsupport::waitChild(pid) : -2000, shown, ""};
    }

    // argv started with standard output and error on out and err, which are
    // closed here, and standard input /dev/null; killed at the end of the
    // test unless waited for.
    pid_t spawn(const std::vector<std::string>& argv, int out, int err, const std::vector<std::string>& env = {}) {
        std::fflush(nullptr);
        const pid_t pid = ::fork();
        if (pid == 0) {
            ::dup2(out, 1);
            ::dup2(err, 2);
            ::dup2(::open("/dev/null", O_RDONLY), 0);
            for (const std::string& v : env)
                v[0] == '-' ? ::unsetenv(v.c_str() + 1) : ::putenv(const_cast<char*>(v.c_str()));
            exec(argv);
        }
        ::close(out);
        ::close(err);
        iv_children.push_back(pid);
        return pid;
    }

    // The child's exit code, -(signal) when it was killed, -1000 when it
    // did not end in timeout seconds (it is killed then).
    int waitFor(pid_t pid, int timeout) {
        iv_children.erase(std::remove(iv_children.begin(), iv_children.end(), pid), iv_children.end());
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(timeout);
        int status = 0;
        while (::waitpid(pid, &status, WNOHANG) == 0) {
            if (std::chrono::steady_clock::now() > deadline) {
                ::kill(pid, SIGKILL);
                ::waitpid(pid, &status, 0);
                return -1000;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        return WIFEXITED(status) ? WEXITSTATUS(status) : -WTERMSIG(status);
    }

    // Bytes written into a host file at offset (appended when offset is npos).
    static void patchFile(const std::string& host, size_t offset, const std::string& bytes) {
        std::string content = testsupport::readFile(host);
        if (offset == std::string::npos) offset = content.size();
        content.resize(std::max(content.size(), offset + bytes.size()));
        content.replace(offset, bytes.size(), bytes);
        testsupport::writeFile(host, content);
    }

    // The names (relative to dir) and bytes of every file under dir,
    // directories as "(directory)", the tool's own output files left out.
    static Files files(const std::string& dir) {
        Files all;
        for (const auto& e : std::filesystem::recursive_directory_iterator(dir)) {
            const std::string name = e.path().lexically_relative(dir).string();
            if (name == "tool.out" || name == "tool.err") continue;
            all[name] = e.is_directory() ? "(directory)" : testsupport::readFile(e.path());
        }
        return all;
    }

    // A new dump of kind type, or dump id opened; the handle kept by the
    // caller.
    std::unique_ptr<DumpSummary> createDump(DumpSummary::typeOfSummary_t type, unsigned int id) {
        ErrlEntry* errl = nullptr;
        auto dump = std::make_unique<DumpSummary>(type, id, errl);
        EXPECT_EQ(testsupport::signature(errl), "");
        return dump;
    }
    std::unique_ptr<DumpSummary> openDump(unsigned int id) {
        ErrlEntry* errl = nullptr;
        auto dump = std::make_unique<DumpSummary>(id, errl, DumpSummary::SYS);
        EXPECT_EQ(testsupport::signature(errl), "");
        return dump;
    }

    // Points of completeDump at which a test makes something happen to the
    // dump being collected.
    enum class CollectionStep {
        SectionsWritten,   // the nodal sections are written, their files not yet named
        BeforeCompletion,  // everything is recorded; setDumpComplete comes next
    };
    using CollectionHook = std::function<void(CollectionStep, DumpSummary&)>;

    // A complete system dump, every file of it mirrored to the backup: one
    // node group (a hardware section of three items of 13, 19 and 25 bytes,
    // a service-processor section of one), a system section of one registry
    // value and, with main store, an MDRT of one 5000-byte region; the
    // system state lets it be extracted. hook, when given, is called at each
    // step.
    void completeDump(unsigned int id, bool mainStore, const CollectionHook& hook = {}) {
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
            EXPECT_EQ(testsupport::signature(testsupport::putItem(sp, 0xF2000000)), "");
            ErrlEntry* errl = nullptr;
            DumpSystemNodal system(dump.get(), errl);
            EXPECT_EQ(errl, nullptr);
            EXPECT_TRUE(system.SaveRegistryNVPair("svpd/Raw_MachineSerialNumber", true));
        }
        if (hook) hook(CollectionStep::SectionsWritten, *dump);
        dump->SetHWDATAFileNames(0, data, toc);
        dump->SetSPDATAFileNames(0, spData, spToc);
        dump->setHardwareNodeCount(1);
        if (mainStore) {
            platsim::writeMainStore(0x100000, std::string(5000, 'm'));
            std::string mdrt = "/plat_dump/MDRT." + std::to_string(id);
            const std::string entry = testsupport::mdrtOf({{0x100000, 5000}});
            DumpUtilFile file(mdrt.c_str());  // written as a collector writes it, mirrored
            EXPECT_EQ(file.open("w+"), nullptr);
            EXPECT_EQ(file.write(entry.data(), static_cast<uint32_t>(entry.size())), entry.size());
            file.Close();
            dump->setMDRTFileName(mdrt, 32);
            dump->setMDRTTableSize(32);
            dump->setMemoryDumpSize(5000);
            dump->setDumpFlagsByMask(0x2000);
        }
        if (hook) hook(CollectionStep::BeforeCompletion, *dump);
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

    static constexpr int64_t kClock = testsupport::kClock;  // the shared fixtures' clock

private:
    static std::vector<std::string> toolArgv(const std::vector<std::string>& args) {
        std::vector<std::string> argv;
        std::istringstream emulator(PLATDUMP_TOOL_EMULATOR);
        for (std::string word; emulator >> word;) argv.push_back(word);
        argv.push_back(PLATDUMP_TOOL);
        argv.insert(argv.end(), args.begin(), args.end());
        return argv;
    }

    [[noreturn]] static void exec(const std::vector<std::string>& argv) {
        std::vector<char*> ptrs;
        for (const std::string& a : argv) ptrs.push_back(const_cast<char*>(a.c_str()));
        ptrs.push_back(nullptr);
        ::execvp(ptrs[0], ptrs.data());
        ::_exit(127);
    }

    std::vector<pid_t> iv_children;
};

}  // namespace tooltest
