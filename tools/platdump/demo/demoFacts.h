// What the demo did and found, step by step, for its closing summary; and
// how it prints a step. A step that fails throws DemoFailure, which the
// command reports with the library's error log.
#pragma once

#include <cstdint>
#include <ostream>
#include <stdexcept>
#include <string>
#include <vector>

#include "collector/dumpCollector.h"
#include "toolJson.h"

class ErrlEntry;

namespace platdump {

struct DemoFacts {
    std::string root;
    unsigned int id = 0;
    std::string dumpFileName;
    // Collection.
    std::vector<unsigned> hwItems, spItems;  // per node
    uint64_t hwBytes = 0, spBytes = 0;
    std::vector<collector::Region> regions;
    uint64_t mainStoreBytes = 0;
    uint64_t expectedStreamSize = 0;  // as the dump's state record gives it
    // Offload and verification.
    std::string offloadFile;
    uint64_t offloadedBytes = 0;
    double offloadSeconds = 0;
    std::vector<std::string> verified;  // the checks that held
    std::vector<std::string> failed;    // the checks that did not
    // Deletion.
    bool kept = false;  // not deleted
    size_t filesDeleted = 0;
    size_t statusEvents = 0;
    size_t errorLogs = 0;          // committed while the demo ran
    size_t informationalLogs = 0;  // of those, with severity 0
};

// A step that could not be done, with the library's error log (decoded;
// null when there was none).
class DemoFailure : public std::runtime_error {
public:
    explicit DemoFailure(const std::string& what, Json errorLog = nullptr)
        : std::runtime_error(what), errorLog(std::move(errorLog)) {}
    Json errorLog;
};

// When the library handed back an entry: deletes it and throws DemoFailure.
void demoCheck(ErrlEntry* entry, const std::string& what);

// " 4. hardware    node 0: ..." and continuation lines under it.
class DemoLog {
public:
    explicit DemoLog(std::ostream& out) : iv_out(out) {}
    void step(const std::string& name, const std::string& text);
    void more(const std::string& text);
    std::ostream& stream() { return iv_out; }

private:
    std::ostream& iv_out;
    int iv_step = 0;
};

}  // namespace platdump
