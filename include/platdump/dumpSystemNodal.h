// DumpSystemNodal: the system section ("SYSDATA") of one dump, a nodal
// section whose files are named after the dump id ("%08X.SysTOC" and
// "%08X.SysData" in /plat_dump, section index 0xFFFF) and recorded in the
// dump's summary. A collector creates it, has it gather what is always
// recorded (the management-console connections, entry 0xF1190000, and the
// file system's use, entry 0xF00A0000), adds registry values or files
// (entry 0xF0090000) and error logs of its choice, and destroys it, which
// finalises the section as ~DumpNodalSection does.
//
// Ownership: the DumpSummary is the caller's and must outlive the section.
// An ErrlEntry* returned (also through the constructor's errl) belongs to
// the caller; the entry given to SaveErrorToDump stays the caller's.
//
// Reporting point beyond the documented ones: a null summary gives the
// constructor dumpCreateErrorLog (rc 1, reason 0xF00B, module 0x0115,
// location 2, word 0), and no file is created.
#pragma once

#include <cstdint>

#include "dumpExport.h"
#include "dumpNodalSection.h"
#include "platform/kelx.h"

class DumpSummary;
class ErrlEntry;

// One management-console connection (88 bytes in the section). Text is
// NUL-terminated within its field; the library writes the record
// byte for byte, all zero where nothing was found.
struct ConnectionRecord_t {
    char connectionType[4];  // "KEL ", not terminated
    char sessionName[32];    // the session's name, at most 31 characters
    char replyText[48];      // the console's reply, at most 47 characters
    uint8_t sessionState;    // 1, 2 or 4
    uint8_t reserved[3];     // zero
};
static_assert(sizeof(ConnectionRecord_t) == 88, "ConnectionRecord_t is 88 bytes");

// The console connections of the system (812 bytes in the section: the
// managed info's 20-byte big-endian image, then the nine records).
struct ConnectionInfo_t {
    static constexpr unsigned int MAX_CONNECTIONS = 9;

    KelxManagedInfo managedInfo;
    // One per console session found, in session order; the rest zero.
    ConnectionRecord_t connections[MAX_CONNECTIONS];
};
static_assert(sizeof(ConnectionInfo_t) == 812, "ConnectionInfo_t is 812 bytes");

class PLATDUMP_EXPORT DumpSystemNodal : public DumpNodalSection {
public:
    // Creates or reopens /plat_dump/<id>.SysTOC and <id>.SysData (id the
    // summary's dump id as %08X) and records both full paths in the
    // summary. errl is set to null, or to the failure; the names are then
    // not recorded, and the object must still be destroyed.
    DumpSystemNodal(DumpSummary* summary, ErrlEntry*& errl);
    // Finalises the section (repair, padding, final header) and closes it.
    ~DumpSystemNodal();

    // Writes the console connections (entry 0xF1190000, 812 bytes) and the
    // data file system's use in percent (entry 0xF00A0000, a 4-byte word).
    // A failed console entry is returned when the summary's hwErrorFlags
    // have 0x8000 (the file system filled up), else committed; a failed
    // use entry is only traced.
    ErrlEntry* gatherSystemNodalInformation();
    // Fills info with the console service's view and one record per
    // management-console session (sessions 0 to 8 of type "KEL " in state
    // 1, 2 or 4), each with the console's reply to a status request.
    // Failures only leave records (or their reply text) empty: always null.
    ErrlEntry* GetKELInfo(ConnectionInfo_t* info);
    // Records a registry value (fromRegistry true: name is its key) or a
    // file's content (name is its path) as entry 0xF0090000. False, with
    // nothing reported, when it cannot be read or written, or the file
    // system is full (the summary's hwErrorFlags then say so).
    bool SaveRegistryNVPair(const char* name, bool fromRegistry);
    // Records the flattened errl as entry id. A failed write is committed
    // and gives false; so does a full file system, of which the summary
    // keeps the record. errl is neither committed nor deleted.
    bool SaveErrorToDump(ErrlEntry*& errl, unsigned int id);
};
