// Named system-wide semaphores. Objects initialised with the same name and
// id, in any process, are one semaphore. A process that dies while holding
// it gives it back (undo on exit), so a killed holder cannot block others.
#pragma once

#include <cstdint>

#include "platformExport.h"

class ErrlEntry;

#define SEM_UNDO_FLAG_SETTING 0

class PLATFORM_EXPORT UtilSemaphore {
public:
    explicit UtilSemaphore(int undoSetting = SEM_UNDO_FLAG_SETTING);
    ~UtilSemaphore();  // gives back what this object holds
    UtilSemaphore(const UtilSemaphore&) = delete;
    UtilSemaphore& operator=(const UtilSemaphore&) = delete;

    // The platform supports an initial count of 1 (a lock).
    ErrlEntry* init(const char* name, uint8_t id, uint32_t initialCount);
    // Takes the semaphore, waiting while another holder has it.
    ErrlEntry* Down(uint32_t count = 1);
    ErrlEntry* Up(uint32_t count = 1);

private:
    int iv_fd = -1;
    int iv_pid = 0;  // the process that opened iv_fd
    bool iv_held = false;
    char iv_key[64] = {0};
};
