// Decodes an offloaded dump stream: the dump file header, the summary
// section, the hardware data section and, when offloaded, the hypervisor
// data section. Every size and offset is checked against the others and
// every inconsistency is reported with its byte offset in the stream;
// damaged input (truncated, a size that lies, an entry pointing past its
// data) is decoded as far as it goes and never read out of bounds.
#pragma once

#include <optional>

#include "fileHeader.h"
#include "findings.h"
#include "hardwareSection.h"
#include "hypervisorSection.h"
#include "streamSource.h"
#include "summarySection.h"

namespace decode {

struct DecodedStream {
    uint64_t size = 0;  // bytes in the stream
    FileHeader header;
    std::optional<SummarySection> summary;
    std::optional<HardwareSection> hardware;
    std::optional<HypervisorSection> hypervisor;
    Findings findings;  // in stream order

    bool consistent() const { return findings.errorCount() == 0; }
};

DecodedStream decodeStream(const StreamSource& source);

// The checks that relate the parts to each other (summary against the file
// header, the derived sizes against the sections found); used by
// decodeStream once the parts are decoded.
void crossCheck(DecodedStream& stream);

}  // namespace decode
