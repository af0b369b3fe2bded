// The hardware data section: for each node group a HWDATA and an SPDATA
// nodal section (TOC, then data file), then the SYSDATA section. The
// stream does not say how many node groups there are; the decoder walks
// from one TOC header to the next by the sizes each header gives, and
// checks where the walk ends against the section's declared size.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "fileHeader.h"
#include "findings.h"
#include "nodalFile.h"
#include "streamSource.h"

namespace decode {

struct NodeGroup {
    std::optional<NodalFile> hardware;
    std::optional<NodalFile> serviceProcessor;
};

struct HardwareSection {
    uint64_t offset = 0;        // of the section in the stream
    uint64_t declaredSize = 0;  // sectionSize of its section header
    uint64_t length = 0;        // bytes taken in the stream; the next section starts at end()
    bool cut = false;           // the stream ends inside one of its nodal files
    std::vector<NodeGroup> groups;
    std::optional<NodalFile> system;

    uint64_t end() const { return offset + length; }
    // Bytes of all nodal data files (what nodalDataSize counts).
    uint64_t dataFileBytes() const;
};

// Walks the section at offset; declared is its section header.
HardwareSection decodeHardwareSection(const StreamSource& source, uint64_t offset, const SectionHeader& declared,
                                      Findings& findings);

}  // namespace decode
