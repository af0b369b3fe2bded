// platdump: the command-line tool over the dump library. Each subcommand
// registers its options here and runs after the whole command line has
// been parsed; usage errors exit 2 before anything is done.
#include <unistd.h>

#include <CLI/CLI.hpp>
#include <functional>
#include <iostream>
#include <vector>

#include "checkCommand.h"
#include "deleteCommand.h"
#include "demoCommand.h"
#include "errlogCommand.h"
#include "listCommand.h"
#include "mirror/mirrorCommand.h"
#include "exitCodes.h"
#include "offloadCommand.h"
#include "parseCommand.h"
#include "showCommand.h"
#include "simCommand.h"
#include "statusCommand.h"
#ifdef PLATDUMP_HAVE_SERVE
#include "serve/serveCommand.h"
#endif

namespace {

struct Subcommand {
    CLI::App* app;
    std::function<int()> run;
};

}  // namespace

int main(int argc, char** argv) {
    using namespace platdump;
    CLI::App app{"Inspect, offload and check the platform dumps of the service processor", "platdump"};
    app.set_version_flag("--version", std::string("platdump ") + PLATDUMP_VERSION);
    app.require_subcommand(1);

    ListOptions list;
    ShowOptions show;
    StatusOptions status;
    OffloadOptions offload;
    ParseOptions parse;
    DeleteOptions del;
    ErrlogOptions errlog;
    CheckOptions check;
    MirrorOptions mirror;
    DemoOptions demo;
    std::vector<Subcommand> commands = {
        {addListCommand(app, list), [&] { return runList(list, std::cout, std::cerr); }},
        {addShowCommand(app, show), [&] { return runShow(show, std::cout, std::cerr); }},
        {addStatusCommand(app, status), [&] { return runStatus(status, std::cout, std::cerr); }},
        {addOffloadCommand(app, offload),
         [&] { return runOffload(offload, isatty(STDERR_FILENO) == 1, std::cout, std::cerr); }},
        {addParseCommand(app, parse), [&] { return runParse(parse, std::cout, std::cerr); }},
        {addDeleteCommand(app, del), [&] { return runDelete(del, std::cout, std::cerr); }},
        {addErrlogCommand(app, errlog), [&] { return runErrlog(errlog, std::cout, std::cerr); }},
        {addCheckCommand(app, check), [&] { return runCheck(check, std::cout, std::cerr); }},
        {addMirrorCommand(app, mirror), [&] { return runMirror(mirror, std::cout, std::cerr); }},
        {addDemoCommand(app, demo), [&] { return runDemo(demo, isatty(STDERR_FILENO) == 1, std::cout, std::cerr); }},
        {addSimCommand(app), [&] { return runSim(std::cout); }},
    };
#ifdef PLATDUMP_HAVE_SERVE
    ServeOptions serve;
    commands.push_back({addServeCommand(app, serve), [&] { return runServe(serve, std::cerr); }});
#else
    // A build without the HTTP library still knows the command, and says why
    // it cannot run it.
    CLI::App* noServe = app.add_subcommand("serve", "The repository over HTTP (not in this build)");
    noServe->allow_extras();
    commands.push_back({noServe, [] {
                            std::cerr << "platdump serve: this build has no HTTP server (libmicrohttpd was not found "
                                         "when it was built)\n";
                            return kExitFailed;
                        }});
#endif

    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        return app.exit(e) == 0 ? kExitOk : kExitUsage;
    }
    for (const Subcommand& c : commands)
        if (c.app->parsed()) return c.run();
    return kExitUsage;
}
