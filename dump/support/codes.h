// The library's return and reason codes, each under one name. A failure
// table row names its code here and its reporting point at the call site:
//
//   errorAt({0x0113, 9}, RC_FAILED, REASON_FILE, id)
//
// The component id of every entry is DUMP_COMPONENT_ID
// (platdump/dumpTypes.h).
#pragma once

#include <cstdint>

namespace dump {

// Return codes (setRC), 32-bit.
enum ReturnCode : uint32_t {
    RC_NONE = 0,                  // a notice that records an event, no failure
    RC_FAILED = 1,                // the library's own failures of files, types and arguments
    RC_PLATFORM = 2,              // a platform service failed or answered unusably
    RC_NOT_EXTRACTABLE = 6,       // the dump or its main store may not be extracted now
    RC_NO_DATA = 0xB,             // bytes of the stream that cannot be served
    RC_IPL_REQUEST_FAILED = 0x12, // the checkstop-IPL request itself failed
    RC_SUMMARY_MISSING = 0x1A,    // no summary file for the dump
    RC_DUMP_INVALIDATED = 0x1B,   // the dump vanished during its offload
    RC_HW_SYS_FAILED = 0x22,      // hardware or system collection failed
    RC_SRC_UNREADABLE = 0xF0EE,   // the stored SRC cannot be read back
};

// Reason codes (the SRC's reason code; its low byte is in the location
// word), 16-bit.
enum ReasonCode : uint16_t {
    REASON_FILE = 0xF00B,                 // a repository or dump file, or the summary a section needs
    REASON_NO_DATA = 0xF00F,              // the stream's data cannot be served
    REASON_MAIN_STORE = 0xF011,           // main store cannot or may not be read
    REASON_IPL_REQUEST_REFUSED = 0xF012,  // the system manager refused the checkstop IPL
    REASON_NOT_COMPLETE = 0xF014,         // the dump is not complete
    REASON_OFFLOAD_START = 0xF01F,        // an offload begins (offset 0)
    REASON_HW_SYS_FAILED = 0xF024,        // hardware or system collection failed
    REASON_DMA_READ = 0xF0E3,             // the DMA engine's read failed
    REASON_COPY_OUT = 0xF0E4,             // a hardware bit buffer could not be copied out
    REASON_MAILBOX = 0xF0E9,              // the host mailbox failed or answered unusably
    REASON_IPL_REQUEST_FAILED = 0xF0ED,   // the checkstop-IPL request failed
    REASON_SRC_UNREADABLE = 0xF0EE,       // the stored SRC cannot be read back
    REASON_REGISTRY = 0xF0F0,             // a registry value cannot be read
    REASON_TIME = 0xF0F1,                 // the time service, or the Vosk info with its time
    REASON_CCM_REFUSED = 0xF0F7,          // the code-maintenance manager refused
};

}  // namespace dump
