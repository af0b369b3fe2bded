// Shared test support: every test case derived from SimTest runs on a fresh
// simulation root (a new temporary directory in PLATSIM_ROOT), removed
// afterwards unless PLATSIM_KEEP_ROOT is set. Helpers read the committed
// error log, build expected byte images independently of the library, and
// run code in child processes.
#pragma once

#include <gtest/gtest.h>
#include <sys/types.h>

#include <cstdint>
#include <functional>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

class ErrlEntry;

namespace testsupport {

using Json = nlohmann::json;

class SimTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    const std::string& root() const { return iv_root; }
    // Host paths of service-processor paths on either side.
    std::string primary(const std::string& spPath) const;
    std::string backup(const std::string& spPath) const;

    // The committed error logs, oldest first.
    std::vector<Json> errlog() const;

private:
    std::string iv_root;
    std::string iv_previous;
    bool iv_hadPrevious = false;
};

// Bytes of a user-data section of an entry.
std::vector<uint8_t> userDataBytes(const Json& entry, size_t index);

// The record of an entry a call returned, which is then deleted; a null
// record when there was none.
Json taken(ErrlEntry* entry);

bool fileExists(const std::string& hostPath);
std::string readFile(const std::string& hostPath);
void writeFile(const std::string& hostPath, const std::string& bytes);
std::vector<uint8_t> readBytes(const std::string& hostPath);

// An expected byte image, built field by field: every value is written
// most significant byte first.
class Bytes {
public:
    Bytes& u8(uint64_t v) { return be(v, 1); }
    Bytes& u16(uint64_t v) { return be(v, 2); }
    Bytes& u32(uint64_t v) { return be(v, 4); }
    Bytes& u64(uint64_t v) { return be(v, 8); }
    Bytes& text(const std::string& s) { return iv_bytes.insert(iv_bytes.end(), s.begin(), s.end()), *this; }
    // Text in a field of width bytes, NUL-padded (cut when longer).
    Bytes& field(const std::string& s, size_t width) {
        return text(s.substr(0, width)).fill(width > s.size() ? width - s.size() : 0);
    }
    Bytes& fill(size_t count, uint8_t value = 0) { return iv_bytes.insert(iv_bytes.end(), count, value), *this; }
    size_t size() const { return iv_bytes.size(); }
    const std::vector<uint8_t>& bytes() const { return iv_bytes; }
    operator const std::vector<uint8_t>&() const { return iv_bytes; }

private:
    Bytes& be(uint64_t v, int width) {
        for (int shift = 8 * (width - 1); shift >= 0; shift -= 8)
            iv_bytes.push_back(static_cast<uint8_t>((v >> shift) & 0xFF));
        return *this;
    }
    std::vector<uint8_t> iv_bytes;
};

// The simulated redundancy manager's call log (sim/rmgr.log): startRmgrLog
// begins it; rmgrCalls returns the calls since the last look, one line each.
void startRmgrLog();
std::vector<std::string> rmgrCalls();

// Runs body in a child process; the child exits with body's result.
pid_t forkChild(const std::function<int()>& body);
// Waits for the child: its exit code, or -(signal) when it was killed.
int waitChild(pid_t pid);

}  // namespace testsupport
