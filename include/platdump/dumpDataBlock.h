// The pieces of a dump's offload stream. A DumpDataBlock knows its size and
// copies any sub-range of itself into a caller's buffer: bytes held in
// memory (DumpDataBlockMS), a whole repository file (DumpDataBlockFile), or
// a region of the managed server's main store read by DMA, either through
// an address the host's mailbox grants (DumpDataBlockTCE) or straight from
// main store (DumpDataBlockDMAE). A DumpList is the ordered list of blocks
// whose concatenation is the stream.
//
// Ownership: a block does not own what it points at (the memory, or the
// file name); that must outlive the block. A DumpList owns the blocks
// appended to it and deletes them when it is destroyed. Errors returned by
// getData and remove belong to the caller.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "dumpExport.h"
#include "platform/dmae.h"

class ErrlEntry;

// The offload caller's handle on the platform DMA engine, handed to the
// engine as its fdal_t. The caller zero-fills it before its first
// extraction call and keeps it from call to call; the first main-store
// read sets the engine up on it (words 1 and 2 both zero: not set up yet).
typedef fdal_t dumpDMAEhandle;

class PLATDUMP_EXPORT DumpDataBlock {
public:
    enum blockType_t : uint32_t {
        BLOCK_MS = 1,
        BLOCK_FILE = 2,
        BLOCK_TCE = 3,
        BLOCK_DMAE = 4,
    };

    // A block of no concrete kind: size 0, and getData fails.
    DumpDataBlock();
    virtual ~DumpDataBlock();
    DumpDataBlock(const DumpDataBlock&) = delete;
    DumpDataBlock& operator=(const DumpDataBlock&) = delete;

    // Bytes this block contributes to the stream.
    virtual uint32_t getSize() const;
    // Copies length bytes from byte offset of the block to buffer; the
    // caller keeps offset + length within the size and gives a buffer of
    // length bytes. handle is used by main-store blocks only.
    virtual ErrlEntry* getData(uint32_t offset, uint32_t length, char* buffer,
                               dumpDMAEhandle* handle) const;
    // Deletes what backs the block, where there is such a thing (files).
    virtual ErrlEntry* remove() const;

    blockType_t getType() const { return static_cast<blockType_t>(iv_Type); }

protected:
    DumpDataBlock(uint32_t size, uint64_t location, blockType_t type);

    uint32_t iv_Size;
    // Main-store blocks: the address of the first byte; file blocks: the
    // file name; memory blocks: the first byte.
    uint64_t iv_Location;
    uint32_t iv_Type;
};

// size bytes of memory at data.
class PLATDUMP_EXPORT DumpDataBlockMS : public DumpDataBlock {
public:
    DumpDataBlockMS(unsigned int size, char* data);
    ~DumpDataBlockMS() override;
    ErrlEntry* getData(uint32_t offset, uint32_t length, char* buffer,
                       dumpDMAEhandle* handle) const override;
};

// The first size bytes of the file fileName (a service-processor path).
class PLATDUMP_EXPORT DumpDataBlockFile : public DumpDataBlock {
public:
    DumpDataBlockFile(unsigned int size, char* fileName);
    ~DumpDataBlockFile() override;
    ErrlEntry* getData(uint32_t offset, uint32_t length, char* buffer,
                       dumpDMAEhandle* handle) const override;
    // Removes the file, here and on the backup service processor.
    ErrlEntry* remove() const override;
};

// size bytes of main store at address, read at the DMA address that the
// host maps the range to on request through the mailbox.
class PLATDUMP_EXPORT DumpDataBlockTCE : public DumpDataBlock {
public:
    DumpDataBlockTCE(unsigned int size, unsigned long long address);
    ~DumpDataBlockTCE() override;
    ErrlEntry* getData(uint32_t offset, uint32_t length, char* buffer,
                       dumpDMAEhandle* handle) const override;
};

// size bytes of main store at address, read straight by the DMA engine.
class PLATDUMP_EXPORT DumpDataBlockDMAE : public DumpDataBlock {
public:
    DumpDataBlockDMAE(unsigned int size, unsigned long long address);
    ~DumpDataBlockDMAE() override;
    ErrlEntry* getData(uint32_t offset, uint32_t length, char* buffer,
                       dumpDMAEhandle* handle) const override;
};

// The blocks of one stream, first to last in the order appended.
class PLATDUMP_EXPORT DumpList {
public:
    typedef std::vector<DumpDataBlock*>::const_iterator const_iterator;

    DumpList();
    // Deletes every block in list order; null entries are skipped.
    ~DumpList();
    DumpList(const DumpList&) = delete;
    DumpList& operator=(const DumpList&) = delete;

    // Adds block at the end and takes it over; always true.
    bool append(DumpDataBlock* block);

    const_iterator begin() const { return iv_blocks.begin(); }
    const_iterator end() const { return iv_blocks.end(); }
    size_t size() const { return iv_blocks.size(); }

private:
    std::vector<DumpDataBlock*> iv_blocks;
};

// Whether the managed server is checkstopped: 0, none.
extern "C" PLATDUMP_EXPORT int CheckstopPresent();
