// The simulation's contract where the library's own tests do not reach
// it: pending file errors, registry values, BCD conversion, fault options,
// and a semaphore's release when its holder dies.
#include <signal.h>
#include <unistd.h>

#include <cerrno>

#include "platform/errlEntry.h"
#include "platform/rtim.h"
#include "platform/sim/platsim.h"
#include "platform/utilFile.h"
#include "platform/utilReg.h"
#include "platform/utilSemaphore.h"
#include "tests/common/simTest.h"

using namespace testsupport;

namespace {

class Simulation : public SimTest {};

TEST_F(Simulation, FailedFileOperationsLeaveAPendingErrorNamingThePath) {
    UtilFile f("/plat_dump/missing");
    f.Open("r", false);
    ASSERT_TRUE(f.hasError());
    Json e = taken(f.takeError());
    EXPECT_FALSE(f.hasError());
    EXPECT_EQ(e["rc"], ENOENT);
    EXPECT_EQ(e["srcs"][0]["words"][0], ENOENT);
    ASSERT_EQ(e["userData"].size(), 1u);
    const std::vector<uint8_t> text = userDataBytes(e, 0);
    EXPECT_NE(std::string(text.begin(), text.end()).find("/plat_dump/missing"), std::string::npos);

    // A failure on a file that is not open is reported too.
    EXPECT_EQ(f.read(nullptr, 4), 0u);
    EXPECT_TRUE(f.hasError());
    f.clearError();
    EXPECT_FALSE(f.hasError());
}

// A file object keeps the path it is given whatever its length, its own
// name given back to it included: the file it reaches is the one named.
TEST_F(Simulation, FileObjectsKeepLongAndRenamedPaths) {
    const std::string longName = "/plat_dump/" + std::string(120, 'L');
    writeFile(root() + "/primary" + longName, "long");
    writeFile(root() + "/primary/plat_dump/short", "short");
    UtilFile f(longName.c_str());
    EXPECT_EQ(f.getFileName(), longName);
    EXPECT_TRUE(f.exists());
    f.setFileName("/plat_dump/short");
    EXPECT_STREQ(f.getFileName(), "/plat_dump/short");
    f.setFileName(f.getFileName());
    EXPECT_STREQ(f.getFileName(), "/plat_dump/short");
    f.setFileName(longName.c_str());
    f.setFileName(f.getFileName());
    f.Open("r", false);
    char buf[8] = {0};
    EXPECT_EQ(f.read(buf, sizeof buf), 4u);
    EXPECT_EQ(std::string(buf, 4), "long");

    UtilFile unnamed(static_cast<const char*>(nullptr));
    EXPECT_STREQ(unnamed.getFileName(), "");
    EXPECT_FALSE(unnamed.exists());
}

// Modes are the C library's, a 'b' anywhere ignored; any other is refused
// without touching the file.
TEST_F(Simulation, OpenModesAreTheCLibrarysAndOthersAreRefused) {
    const std::string path = root() + "/primary/plat_dump/modes";
    struct Row {
        const char* mode;
        bool opens;
        const char* after;  // the file, "abc" before, once "Z" is written through the object
    };
    const Row rows[] = {
        {"r", true, "abc"},   {"rb", true, "abc"},  {"r+", true, "Zbc"},   {"rb+", true, "Zbc"},
        {"r+b", true, "Zbc"}, {"w", true, "Z"},     {"wb+", true, "Z"},    {"a", true, "abcZ"},
        {"ab+", true, "abcZ"}, {"", false, "abc"},  {"x", false, "abc"},   {"rw", false, "abc"},
        {"r++", false, "abc"}, {"+", false, "abc"}, {"rbb+x", false, "abc"},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.mode);
        writeFile(path, "abc");
        UtilFile f("/plat_dump/modes");
        f.Open(r.mode, false);
        EXPECT_EQ(f.isOpen(), r.opens);
        if (!r.opens) {
            EXPECT_EQ(taken(f.takeError())["rc"], EINVAL);
        }
        f.write("Z", 1);
        f.clearError();
        f.Close();
        EXPECT_EQ(readFile(path), r.after);
    }
}

TEST_F(Simulation, RegistryValuesAreRawBytesAndTooSmallABufferFails) {
    const std::string raw("ab12\0x", 6);
    platsim::setRegistry("svpd/Raw_MachineSerialNumber", raw);
    EXPECT_EQ(readFile(root() + "/primary/registry/svpd/Raw_MachineSerialNumber"), raw);
    char buf[32];
    uint32_t size = sizeof buf;
    ASSERT_EQ(UtilReg::read("svpd/Raw_MachineSerialNumber", buf, size), nullptr);
    EXPECT_EQ(std::string(buf, size), raw);
    size = 4;
    EXPECT_FALSE(taken(UtilReg::read("svpd/Raw_MachineSerialNumber", buf, size)).is_null())
        << "a value longer than the buffer fails";
}

// (A stamp converting back to its seconds shows in the status log's lines.)
TEST_F(Simulation, AnInvalidBcdStampIsRefused) {
    BCD_time8_t t = {{0x20, 0x26}, 0x1A, 0x05, 0x20, 0x30, 0x15, 0x00};
    timeval tv{};
    uint16_t hundredths = 0;
    uint32_t status = 0;
    EXPECT_FALSE(taken(rtim_ConvertBCDtoTimeVal(t, hundredths, tv, status, true, nullptr)).is_null());
    EXPECT_NE(status, 0u);
}

// (count, after and match are at work throughout the library's tests, and
// so are the POSIX calls failing with a fault's errno: the repository's
// listings.)
TEST_F(Simulation, FaultsForShortWritesAndPendingErrors) {
    // A short write without an error; the latest failure is the pending one.
    UtilFile f("/plat_dump/ops");
    f.Open("w+", false);
    platsim::setFault("UtilFile.write", "bytes=2 count=1");
    EXPECT_EQ(f.write("wxyz", 4), 2u);
    EXPECT_FALSE(f.hasError());
    platsim::setFault("UtilFile.write", "count=1");
    platsim::setFault("UtilFile.seek", "count=1");
    EXPECT_EQ(f.write("abcd", 4), 0u);
    EXPECT_EQ(f.seek(0, UtilStream::START), -1);
    ASSERT_TRUE(f.hasError());
    EXPECT_EQ(f.getLastError()->getSRC(0)->reasonCode(), 0x1104);
    // Each fault that fired is logged with its subject, the short write too.
    EXPECT_EQ(readFile(root() + "/sim/faults.log"),
              "UtilFile.write /plat_dump/ops\nUtilFile.write /plat_dump/ops\nUtilFile.seek /plat_dump/ops\n");
}

// (That holders in other processes exclude each other shows in the
// extraction tests, where deletion and extraction meet.)
TEST_F(Simulation, ASemaphoreIsReleasedWhenItsHolderDies) {
    int ready[2];
    ASSERT_EQ(::pipe(ready), 0);
    pid_t holder = forkChild([&] {
        UtilSemaphore s;
        if (s.init("dump", 2, 1) || s.Down(1)) return 2;
        char c = 'r';
        if (::write(ready[1], &c, 1) != 1) return 3;
        ::pause();
        return 0;
    });
    char c;
    ASSERT_EQ(::read(ready[0], &c, 1), 1);
    ::kill(holder, SIGKILL);
    EXPECT_EQ(waitChild(holder), -SIGKILL);
    UtilSemaphore mine;
    ASSERT_EQ(mine.init("dump", 2, 1), nullptr);
    ::alarm(60);  // a semaphore never given back fails the test instead of hanging it
    EXPECT_EQ(mine.Down(1), nullptr);
    ::alarm(0);
    EXPECT_EQ(mine.Up(1), nullptr);
    ::close(ready[0]);
    ::close(ready[1]);
}

TEST_F(Simulation, SemaphoreMisuseIsReported) {
    UtilSemaphore s;
    EXPECT_FALSE(taken(s.Down(1)).is_null()) << "Down before init";
    ASSERT_EQ(s.init("dump", 2, 1), nullptr);
    EXPECT_FALSE(taken(s.Up(1)).is_null()) << "Up without Down";
    platsim::setFault("UtilSemaphore.Down", "match=dump.2 count=1");
    EXPECT_FALSE(taken(s.Down(1)).is_null());
    EXPECT_EQ(s.Down(1), nullptr);
    EXPECT_EQ(s.Up(1), nullptr);
}

}  // namespace
