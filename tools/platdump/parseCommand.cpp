#include "parseCommand.h"

#include "decode/streamDecoder.h"
#include "exitCodes.h"
#include "streamJson.h"
#include "streamText.h"

namespace platdump {

CLI::App* addParseCommand(CLI::App& app, ParseOptions& options) {
    CLI::App* cmd = app.add_subcommand("parse", "Decode an offloaded dump and check every size and offset");
    cmd->add_option("FILE", options.file, "The offloaded dump stream")->required();
    cmd->add_flag("--json", options.json, "Print the decoded stream as JSON");
    return cmd;
}

int runParse(const ParseOptions& options, std::ostream& out, std::ostream& err) {
    std::string why;
    std::unique_ptr<decode::FileSource> source = decode::FileSource::open(options.file, why);
    if (!source) {
        err << "platdump parse: cannot open " << options.file << ": " << why << "\n";
        return kExitFailed;
    }
    decode::DecodedStream stream = decode::decodeStream(*source);
    if (options.json)
        printJson(out, toJson(stream));
    else
        printStream(out, options.file, stream);
    return stream.consistent() ? kExitOk : kExitFailed;
}

}  // namespace platdump
