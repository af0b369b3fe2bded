// The simulated console side: the management-console service's view, the
// session table and its lock, and exchanges with a console.
#include <unistd.h>

#include <cerrno>
#include <thread>

#include "platform/errlEntry.h"
#include "platform/kelx.h"
#include "platform/netc.h"
#include "platform/netcSession.h"
#include "platform/sim/platsim.h"
#include "platform/utilFile.h"
#include "tests/common/simTest.h"

using namespace testsupport;

namespace {

// A failure's return code is taken(entry)["rc"] (the errno for the network layer).
class Console : public SimTest {};

TEST_F(Console, ManagedInfoComesFromTheSimulationFile) {
    KelxManagedInfo info;
    ASSERT_EQ(kelxQueryKelManagedInfo(info, true), nullptr);
    EXPECT_EQ(info.managed, 0u) << "no file: not managed";
    EXPECT_EQ(info.masterSession, KELX_NO_SESSION);

    // (Its big-endian image shows in the system section's console entry.)
    platsim::setManagedInfo("managed=1 console=2");
    KelxManagedInfo untouched;
    untouched.consoleCount = 77;
    EXPECT_EQ(taken(kelxQueryKelManagedInfo(untouched, true))["rc"], 1);
    EXPECT_EQ(untouched.consoleCount, 77u) << "a failed query leaves the record as it was";

    platsim::setManagedInfo("managed=1");
    platsim::setFault("kelxQueryKelManagedInfo", "count=1 rc=0x55");
    EXPECT_EQ(taken(kelxQueryKelManagedInfo(info, true))["rc"], 0x55);
    EXPECT_EQ(kelxQueryKelManagedInfo(info, true), nullptr);
}

TEST_F(Console, SessionEntriesLoadTypeStateAndNameByIndex) {
    ASSERT_TRUE(platsim::setConsoleSession(0, "KEL", 1, "mc-alpha"));
    ASSERT_TRUE(platsim::setConsoleSession(0, "KEL ", 2, "mc-renamed"));  // replaces index 0
    EXPECT_FALSE(platsim::setConsoleSession(1, "KELXY", 1, "too long a tag"));

    NetcSessionEntry entry;
    ASSERT_EQ(entry.FindSessionEntry(0), nullptr);
    EXPECT_STREQ(entry.getType(), "KEL ") << "short tags are padded to four characters";
    EXPECT_EQ(entry.getState(), 2);
    EXPECT_STREQ(entry.getName(), "mc-renamed");

    EXPECT_EQ(taken(entry.FindSessionEntry(3))["rc"], ENOENT);
    EXPECT_EQ(entry.getState(), 0) << "a failed load leaves the entry empty";
    EXPECT_STREQ(entry.getName(), "");

    // A damaged line makes the whole table unreadable.
    writeFile(root() + "/sim/netc/sessions", "# comment\n0 KEL 1 a\nx KEL 1 b\n");
    EXPECT_EQ(taken(entry.FindSessionEntry(0))["rc"], EBADMSG);

    // An injected failure's errno is the return code (of every console call).
    writeFile(root() + "/sim/netc/sessions", "0 KEL 1 a\n");
    platsim::setFault("NetcSessionEntry.FindSessionEntry", "count=1 errno=71");
    EXPECT_EQ(taken(entry.FindSessionEntry(0))["rc"], 71);
    EXPECT_EQ(entry.FindSessionEntry(0), nullptr);
}

// (What the library makes of the replies, and of a console that never
// answers, shows in the system section's tests.)
TEST_F(Console, AnExchangeNeedsAConnectionToAnAnsweringSessionOfStreamType) {
    platsim::setConsoleSession(3, "KEL", 1, "mc-gamma");
    platsim::setConsoleReply(3, std::string("\0\0\0\1", 4) + "V9R1 ready");
    ErrlEntry* errl = reinterpret_cast<ErrlEntry*>(1);
    NetcAddress address(3, errl, NETC_SOCKET_STREAM);
    ASSERT_EQ(errl, nullptr);
    NetcMessage request, response;
    request.setMessageType(0x1002);
    EXPECT_EQ(taken(netcSendRecv(address, request, response))["rc"], ENOTCONN);
    ASSERT_EQ(netcConnect(address), nullptr);
    EXPECT_EQ(taken(netcConnect(address))["rc"], EISCONN);
    ASSERT_EQ(netcSendRecv(address, request, response), nullptr);
    ASSERT_EQ(netcClose(address), nullptr);
    EXPECT_EQ(taken(netcClose(address))["rc"], ENOTCONN);
    EXPECT_EQ(response.getDataLength(), 14u);

    NetcAddress missing(2, errl, NETC_SOCKET_STREAM);
    EXPECT_EQ(taken(errl)["rc"], ECONNREFUSED);
    EXPECT_EQ(taken(netcConnect(missing))["rc"], EDESTADDRREQ);
    NetcAddress datagram(3, errl, 2);
    EXPECT_EQ(taken(errl)["rc"], EPROTONOSUPPORT);
    EXPECT_FALSE(datagram.isValid());
    EXPECT_EQ(platsim::consoleExchanges().size(), 1u) << "the refused send is not recorded";
}

TEST_F(Console, TheTableLockExcludesOtherProcessesUntilReleased) {
    UtilFile lock;
    ASSERT_EQ(netcSessionEntryFileLock(lock), nullptr);
    EXPECT_EQ(taken(netcSessionEntryFileLock(lock))["rc"], EDEADLK) << "the same holder twice";

    std::string marker = root() + "/child-locked";
    pid_t child = forkChild([&] {
        UtilFile mine;
        if (netcSessionEntryFileLock(mine)) return 1;
        writeFile(marker, "x");
        return netcSessionEntryFileUnLock(mine) ? 2 : 0;
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    EXPECT_FALSE(fileExists(marker)) << "the child waits while the table is locked";
    ASSERT_EQ(netcSessionEntryFileUnLock(lock), nullptr);
    EXPECT_EQ(waitChild(child), 0);
    EXPECT_TRUE(fileExists(marker));

    EXPECT_EQ(taken(netcSessionEntryFileUnLock(lock))["rc"], ENOLCK) << "not held any more";

    // An unlock that fails still drops the lock. (A refused lock shows in
    // the system section's failure table.)
    ASSERT_EQ(netcSessionEntryFileLock(lock), nullptr);
    platsim::setFault("netcSessionEntryFileUnLock", "count=1");
    EXPECT_EQ(taken(netcSessionEntryFileUnLock(lock))["rc"], EIO);
    UtilFile again;
    ASSERT_EQ(netcSessionEntryFileLock(again), nullptr);
    EXPECT_EQ(netcSessionEntryFileUnLock(again), nullptr);
}

}  // namespace
