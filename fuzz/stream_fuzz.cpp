// Fuzzer of the offload-stream decoder: the input is an offloaded stream,
// decoded as `platdump parse` decodes it and rendered both ways (JSON and
// text); the same bytes are also decoded as a summary file, as
// `platdump show` reads one. The parts decoded must lie inside the stream.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "decode/streamDecoder.h"
#include "decode/summaryFile.h"
#include "fuzz/nullStream.h"
#include "platdump/streamJson.h"
#include "platdump/streamText.h"

namespace {

// The parts the decoder found lie inside the stream, however damaged.
void checkInside(const decode::DecodedStream& d) {
    const uint64_t hardwareEnd = d.hardware ? d.hardware->end() : 0;
    const uint64_t hypervisorEnd = d.hypervisor ? d.hypervisor->offset + d.hypervisor->length : 0;
    if (hardwareEnd <= d.size && hypervisorEnd <= d.size) return;
    std::fprintf(stderr, "decoded parts beyond the %llu bytes: hardware data to %llu, hypervisor data to %llu\n",
                 static_cast<unsigned long long>(d.size), static_cast<unsigned long long>(hardwareEnd),
                 static_cast<unsigned long long>(hypervisorEnd));
    std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::ostream& out = fuzzsupport::nullStream();
    const decode::MemorySource source(data, size);

    decode::DecodedStream stream = decode::decodeStream(source);
    checkInside(stream);
    platdump::printJson(out, platdump::toJson(stream));
    platdump::printStream(out, "fuzz input", stream);

    decode::decodeSummaryFile(source);
    return 0;
}
