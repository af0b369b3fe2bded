// Shared fixture of the block tests: a fresh simulation root, and the
// record of an entry a failed read returned.
#pragma once

#include <cstdint>

#include "platdump/dumpErrl.h"
#include "tests/common/simTest.h"

namespace testsupport {

class BlockTest : public SimTest {
protected:
    // Commits the entry (which must be there) and returns its record.
    Json committed(ErrlEntry* e) {
        EXPECT_NE(e, nullptr) << "the read should have failed";
        if (!e) return Json();
        dumpCommitAndFreeLog(e);
        return errlog().back();
    }
};

// The low 32 bits of an address, as the library's sections carry it.
inline uint32_t addressWord(const void* p) {
    return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(p));
}

}  // namespace testsupport
