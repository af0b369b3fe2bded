// The simulation's contract: roots, file systems, registry, clock, faults,
// semaphores across processes and the error log's record.
#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/errlEntry.h"
#include "platform/posixFs.h"
#include "platform/rtim.h"
#include "platform/sim/platsim.h"
#include "platform/utilFile.h"
#include "platform/utilReg.h"
#include "platform/utilSemaphore.h"
#include "tests/common/simTest.h"

using namespace testsupport;

namespace {

class Simulation : public SimTest {};

uint32_t regRead(const char* key, std::string& out, uint32_t capacity) {
    std::vector<char> buf(capacity);
    uint32_t size = capacity;
    ErrlEntry* e = UtilReg::read(key, buf.data(), size);
    if (e) {
        delete e;
        return 0xFFFFFFFF;
    }
    out.assign(buf.data(), size);
    return size;
}

TEST_F(Simulation, PathsOfTheServiceProcessorResolveBelowTheRoot) {
    UtilFile f("/plat_dump/a.txt");
    f.Open("w+", false);
    ASSERT_FALSE(f.hasError());
    EXPECT_EQ(f.write("hello", 5), 5u);
    f.Close();
    EXPECT_EQ(readFile(root() + "/primary/plat_dump/a.txt"), "hello");
    EXPECT_FALSE(fileExists(root() + "/backup/plat_dump/a.txt"));

    // While the role file says backup (0), this processor's files are the backup's.
    platsim::setRole(0);
    UtilFile b("/plat_dump/b.txt");
    b.Open("w+", false);
    b.Close();
    EXPECT_TRUE(fileExists(root() + "/backup/plat_dump/b.txt"));
}

TEST_F(Simulation, FileObjectSeeksAndReportsItsPosition) {
    UtilFile f("/plat_dump/seek");
    EXPECT_EQ(f.size(), 0u) << "an unopened file reports size 0";
    f.Open("w+", false);
    f.write("0123456789", 10);
    EXPECT_EQ(f.seek(0, UtilStream::CURRENT), 10);
    EXPECT_EQ(f.seek(2, UtilStream::START), 2);
    EXPECT_EQ(f.seek(-3, UtilStream::END), 7);
    char c[3] = {0};
    EXPECT_EQ(f.read(c, 3), 3u);
    EXPECT_EQ(std::string(c, 3), "789");
    EXPECT_EQ(f.size(), 10u);
    EXPECT_FALSE(f.hasError());
}

TEST_F(Simulation, FailedFileOperationsLeaveAPendingErrorNamingThePath) {
    UtilFile f("/plat_dump/missing");
    f.Open("r", false);
    ASSERT_TRUE(f.hasError());
    ErrlEntry* e = f.takeError();
    EXPECT_FALSE(f.hasError());
    ASSERT_NE(e, nullptr);
    EXPECT_EQ(e->getRC(), static_cast<uint32_t>(ENOENT));
    EXPECT_EQ(e->getSRC(0)->userWord(1), static_cast<uint32_t>(ENOENT));
    ASSERT_EQ(e->userData().size(), 1u);
    std::string text(e->userData()[0].bytes.begin(), e->userData()[0].bytes.end());
    EXPECT_NE(text.find("/plat_dump/missing"), std::string::npos) << text;
    delete e;

    // A failure on a file that is not open is reported too.
    EXPECT_EQ(f.read(nullptr, 4), 0u);
    EXPECT_TRUE(f.hasError());
    f.clearError();
    EXPECT_FALSE(f.hasError());
}

TEST_F(Simulation, RegistryValuesAreRawBytesOfOneFilePerKey) {
    platsim::setRegistry("svpd/Raw_MachineSerialNumber", std::string("ab12\0x", 6));
    std::string value;
    EXPECT_EQ(regRead("svpd/Raw_MachineSerialNumber", value, 32), 6u);
    EXPECT_EQ(value, std::string("ab12\0x", 6));
    EXPECT_TRUE(fileExists(root() + "/primary/registry/svpd/Raw_MachineSerialNumber"));

    uint32_t size = 0;
    ErrlEntry* e = UtilReg::read("svpd/Raw_MachineSerialNumber", nullptr, size);
    EXPECT_EQ(e, nullptr);
    EXPECT_EQ(size, 6u) << "a null buffer asks only for the length";

    EXPECT_EQ(regRead("svpd/Raw_MachineSerialNumber", value, 4), 0xFFFFFFFFu)
        << "a value longer than the buffer fails";
    EXPECT_EQ(regRead("menu/HypMode", value, 1), 0xFFFFFFFFu) << "a missing key fails";

    platsim::setRegistryU32("smgr/CecIplType", 0x01020304);
    EXPECT_EQ(regRead("smgr/CecIplType", value, 4), 4u);
    EXPECT_EQ(value, std::string("\x01\x02\x03\x04", 4));

    char* path = nullptr;
    uint32_t length = 0;
    const char* roots[] = {"fstp/P3_Root"};
    ASSERT_EQ(UtilReg::path(roots, 1, "dump/VoskInfo", path, length), nullptr);
    EXPECT_STREQ(path, "/registry/dump/VoskInfo");
    EXPECT_EQ(length, std::strlen(path));
    std::free(path);
}

TEST_F(Simulation, ClockGivesBcdStampsAndConvertsBothWays) {
    platsim::setClock(1796502615);  // 2026-12-05 20:30:15 UTC
    BCD_time8_t t;
    uint32_t status = 99;
    ASSERT_EQ(rtim_GetTimeOfDay(t, status, true, false, false, false), nullptr);
    EXPECT_EQ(status, 0u);
    const uint8_t expected[8] = {0x20, 0x26, 0x12, 0x05, 0x20, 0x30, 0x15, 0x00};
    EXPECT_EQ(std::memcmp(&t, expected, 8), 0);

    timeval tv{};
    uint16_t hundredths = 0;
    ASSERT_EQ(rtim_ConvertBCDtoTimeVal(t, hundredths, tv, status, true, nullptr), nullptr);
    EXPECT_EQ(tv.tv_sec, 1796502615);

    timeval zero{};
    BCD_time8_t epoch;
    ASSERT_EQ(rtim_ConvertTimeValToBCD(zero, epoch, RTIM_CONVERT_UTC, status), nullptr);
    const uint8_t epochBytes[8] = {0x19, 0x70, 0x01, 0x01, 0, 0, 0, 0};
    EXPECT_EQ(std::memcmp(&epoch, epochBytes, 8), 0);

    BCD_time8_t bad = t;
    bad.month = 0x1A;
    ErrlEntry* e = rtim_ConvertBCDtoTimeVal(bad, hundredths, tv, status, true, nullptr);
    EXPECT_NE(e, nullptr);
    EXPECT_NE(status, 0u);
    delete e;
}

TEST_F(Simulation, FaultsFireByCountAfterAndMatch) {
    // Fail only the second open of a path that contains "victim", once.
    platsim::setFault("UtilFile.Open", "match=victim after=1 count=1");
    auto opens = [](const char* path) {
        UtilFile f(path);
        f.Open("w+", false);
        bool failed = f.hasError();
        f.clearError();
        return failed;
    };
    EXPECT_FALSE(opens("/plat_dump/other"));
    EXPECT_FALSE(opens("/plat_dump/victim"));
    EXPECT_TRUE(opens("/plat_dump/victim"));
    EXPECT_FALSE(opens("/plat_dump/victim"));

    // Each kind of file operation can be made to fail.
    UtilFile f("/plat_dump/ops");
    f.Open("w+", false);
    char buf[4] = {0};
    platsim::setFault("UtilFile.write", "count=1");
    EXPECT_EQ(f.write("abcd", 4), 0u);
    platsim::setFault("UtilFile.read", "count=1");
    EXPECT_EQ(f.read(buf, 4), 0u);
    platsim::setFault("UtilFile.seek", "count=1");
    EXPECT_EQ(f.seek(0, UtilStream::START), -1);
    ASSERT_TRUE(f.hasError());
    EXPECT_EQ(f.getLastError()->getSRC(0)->reasonCode(), 0x1104) << "the latest failure is pending";
    f.clearError();
    EXPECT_EQ(f.write("abcd", 4), 4u) << "each fault fired once";
    platsim::setFault("UtilFile.Remove", "errno=13");
    f.Remove();
    ASSERT_TRUE(f.hasError());
    EXPECT_EQ(f.getLastError()->getRC(), 13u);
    f.clearError();
    EXPECT_TRUE(fileExists(primary("/plat_dump/ops")));

    // A short write without an error.
    platsim::clearFaults();
    platsim::setFault("UtilFile.write", "bytes=2 count=1");
    EXPECT_EQ(f.write("wxyz", 4), 2u);
    EXPECT_FALSE(f.hasError());

    // The POSIX calls fail with the fault's errno.
    platsim::setFault("statfs", "errno=5");
    struct statfs st;
    errno = 0;
    EXPECT_EQ(plat::statfs("/plat_dump", &st), -1);
    EXPECT_EQ(errno, 5);
    platsim::setFault("scandir", "errno=2");
    struct dirent** list = nullptr;
    EXPECT_LT(plat::scandir("/plat_dump", &list, nullptr, alphasort), 0);
    EXPECT_EQ(errno, 2);
}

TEST_F(Simulation, StatfsReportsFixedFiguresWhenGiven) {
    platsim::setStatfs(1000, 70);
    struct statfs st;
    ASSERT_EQ(plat::statfs("/plat_dump", &st), 0);
    EXPECT_EQ(st.f_blocks, 1000u);
    EXPECT_EQ(st.f_bfree, 70u);
    platsim::clearStatfs();
    ASSERT_EQ(plat::statfs("/plat_dump", &st), 0);
    EXPECT_GT(st.f_blocks, 0u);

    writeFile(primary("/plat_dump/t"), "0123456789");
    ASSERT_EQ(plat::truncate("/plat_dump/t", 4), 0);
    EXPECT_EQ(readFile(primary("/plat_dump/t")), "0123");
}

TEST_F(Simulation, SemaphoreIsSharedByProcessesAndReleasedWhenItsHolderDies) {
    UtilSemaphore mine;
    ASSERT_EQ(mine.init("dump", 2, 1), nullptr);
    ASSERT_EQ(mine.Down(1), nullptr);

    // Another process cannot take it while it is held here.
    int pipeFd[2];
    ASSERT_EQ(::pipe(pipeFd), 0);
    pid_t waiter = forkChild([&] {
        UtilSemaphore s;
        if (s.init("dump", 2, 1)) return 2;
        if (s.Down(1)) return 3;
        char c = 'x';
        return ::write(pipeFd[1], &c, 1) == 1 ? 0 : 4;
    });
    ::usleep(200 * 1000);
    char c;
    ::fcntl(pipeFd[0], F_SETFL, O_NONBLOCK);
    EXPECT_EQ(::read(pipeFd[0], &c, 1), -1) << "the child got the semaphore while it was held";
    ASSERT_EQ(mine.Up(1), nullptr);
    EXPECT_EQ(waitChild(waiter), 0);

    // A holder killed while holding it gives it back.
    pid_t holder = forkChild([&] {
        UtilSemaphore s;
        if (s.init("dump", 2, 1) || s.Down(1)) return 2;
        char ready = 'r';
        if (::write(pipeFd[1], &ready, 1) != 1) return 3;
        ::pause();
        return 0;
    });
    ::fcntl(pipeFd[0], F_SETFL, 0);
    ASSERT_EQ(::read(pipeFd[0], &c, 1), 1);
    ::kill(holder, SIGKILL);
    EXPECT_EQ(waitChild(holder), -SIGKILL);
    ErrlEntry* e = mine.Down(1);
    EXPECT_EQ(e, nullptr);
    delete e;
    EXPECT_EQ(mine.Up(1), nullptr);

    // Another id is another semaphore.
    UtilSemaphore other;
    ASSERT_EQ(other.init("dump", 3, 1), nullptr);
    ASSERT_EQ(mine.Down(1), nullptr);
    EXPECT_EQ(other.Down(1), nullptr);
    EXPECT_EQ(other.Up(1), nullptr);
    EXPECT_EQ(mine.Up(1), nullptr);
    ::close(pipeFd[0]);
    ::close(pipeFd[1]);
}

TEST_F(Simulation, SemaphoreMisuseIsReported) {
    UtilSemaphore s;
    ErrlEntry* e = s.Down(1);
    EXPECT_NE(e, nullptr) << "Down before init";
    delete e;
    ASSERT_EQ(s.init("dump", 2, 1), nullptr);
    e = s.Up(1);
    EXPECT_NE(e, nullptr) << "Up without Down";
    delete e;
    platsim::setFault("UtilSemaphore.Down", "match=dump.2 count=1");
    e = s.Down(1);
    EXPECT_NE(e, nullptr);
    delete e;
    EXPECT_EQ(s.Down(1), nullptr);
    EXPECT_EQ(s.Up(1), nullptr);
}

}  // namespace
