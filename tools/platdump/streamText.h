// A decoded offload stream as text for a person: the header and summary
// fields one per line, each nodal section with its entries one per line,
// the MDRT with its regions, then the findings and the verdict.
#pragma once

#include <ostream>
#include <string>

#include "decode/streamDecoder.h"

namespace platdump {

void printStream(std::ostream& out, const std::string& name, const decode::DecodedStream& stream);

// The parts a summary file shares with the stream (platdump show).
void printFileHeader(std::ostream& out, const decode::FileHeader& header);
// "Findings: E errors, N notices" and one line per finding.
void printFindings(std::ostream& out, const decode::Findings& findings);

}  // namespace platdump
