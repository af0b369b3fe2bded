// `platdump parse FILE [--json]`: decodes an offloaded dump stream and
// checks it. Exit 0 when the stream is consistent, 1 when it cannot be
// read or holds inconsistencies (each reported with its byte offset).
#pragma once

#include <CLI/CLI.hpp>
#include <ostream>
#include <string>

namespace platdump {

struct ParseOptions {
    std::string file;
    bool json = false;
};

CLI::App* addParseCommand(CLI::App& app, ParseOptions& options);
int runParse(const ParseOptions& options, std::ostream& out, std::ostream& err);

}  // namespace platdump
