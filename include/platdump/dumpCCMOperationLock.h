// The dump component's hold on concurrent code maintenance. An application
// whose dump work must not overlap code maintenance takes the lock before
// that work and releases it afterwards; the prevention itself lives in the
// platform's code-maintenance manager, registered for component 0xF000.
// The object has no state: it keeps no count and takes no lock of its own,
// so pairing each successful get with one release is the caller's duty.
#pragma once

#include "dumpExport.h"
#include "platform/errlEntry.h"

class PLATDUMP_EXPORT dumpCCMOperationLock {
public:
    dumpCCMOperationLock();
    ~dumpCCMOperationLock();

    // Prevents code maintenance for the dump component. Null when it is
    // now prevented (also when the manager says it already was, for this
    // component); else the manager's entry, which the caller owns.
    ErrlEntry* getCCMOperationLock();
    // Allows code maintenance again. A refusal is committed to the error
    // log; "already allowed" answers are not failures.
    void releaseCCMOperationLock();
};
