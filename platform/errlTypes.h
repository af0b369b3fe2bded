// Enumerated values of the platform's error-log service. Only the values
// the dump library passes are named; any other value of the underlying
// type is accepted and kept as given.
#pragma once

#include <cstdint>

enum errlSeverity : uint8_t {
    ERRL_SEV_INFORMATIONAL = 0x00,
    ERRL_SEV_PREDICTIVE = 0x20,
    ERRL_SEV_UNRECOVERABLE = 0x40,
    ERRL_SEV_ENTRY_DEFAULT = 0xFF,  // commit: keep the entry's own severity
};

enum errlEventType : uint8_t {
    ERRL_ETYPE_NOT_APPLICABLE = 0x00,
    ERRL_ETYPE_MISCELLANEOUS = 0x01,
};

enum srciType : uint8_t {
    SRCI_TYPE_NONE = 0x00,
    SRCI_TYPE_FSP = 0xB1,
};

enum serviceCodes : uint16_t {
    SVC_DUMP_FAILURE = 0x4399,
    SVC_DUMP_INFO = 0x43FF,
};

enum epubSubSystem : uint8_t {
    EPUB_UNKNOWN = 0x00,
    EPUB_FIRMWARE_SP = 0x81,
};

enum srciTermState : uint8_t {
    SRCI_TERM_STATE_NONE = 0x00,
};

enum srciSrcFormats : uint8_t {
    SRCI_FORMAT_NONE = 0x00,
    SRCI_FORMAT_F0 = 0xF0,
};

enum srciPriority : uint8_t {
    SRCI_PRIORITY_LOW = 0x06,
};

enum epubProcedureID : uint8_t {
    EPUB_PRC_SP_CODE = 0x03,
    EPUB_PRC_FIRMWARE = 0x04,
};
