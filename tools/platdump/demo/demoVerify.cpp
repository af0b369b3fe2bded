#include "demoVerify.h"

#include <memory>

#include "decode/streamDecoder.h"
#include "demoCollector.h"
#include "demoMachine.h"
#include "dumpId.h"
#include "textFormat.h"

namespace platdump {

namespace {

class Checks {
public:
    explicit Checks(DemoFacts& f) : iv_f(f) {}
    void expect(bool held, const std::string& what) { (held ? iv_f.verified : iv_f.failed).push_back(what); }

private:
    DemoFacts& iv_f;
};

size_t entries(const std::optional<decode::NodalFile>& file) { return file ? file->header.entryCount : 0; }

void checkNodes(const decode::DecodedStream& d, const DemoFacts& f, Checks& c) {
    const auto& groups = d.hardware->groups;
    c.expect(groups.size() == kDemoNodes, std::to_string(groups.size()) + " node groups, " +
                                              std::to_string(kDemoNodes) + " written");
    for (size_t n = 0; n < groups.size() && n < f.hwItems.size(); ++n)
        c.expect(entries(groups[n].hardware) == f.hwItems[n] && entries(groups[n].serviceProcessor) == f.spItems[n],
                 "node group " + std::to_string(n) + ": " + std::to_string(entries(groups[n].hardware)) +
                     " HWDATA and " + std::to_string(entries(groups[n].serviceProcessor)) + " SPDATA entries");
    c.expect(entries(d.hardware->system) > 0,
             "SYSDATA section with " + std::to_string(entries(d.hardware->system)) + " entries");
}

void checkRegions(const decode::StreamSource& source, const decode::DecodedStream& d, const DemoFacts& f,
                  Checks& c) {
    const auto& regions = d.hypervisor->regions;
    c.expect(regions.size() == f.regions.size(), "MDRT of " + std::to_string(regions.size()) + " regions");
    for (size_t i = 0; i < regions.size() && i < f.regions.size(); ++i) {
        const decode::MainStoreRegion& r = regions[i];
        std::string want = regionBytes(f.regions[i]), got(want.size(), '\0');
        bool same = r.address == f.regions[i].address && r.present == want.size() &&
                    source.read(r.offset, got.size(), reinterpret_cast<uint8_t*>(got.data())) && got == want;
        c.expect(same, "region " + std::to_string(i) + " (" + byteSize(want.size()) + " at " +
                           decode::hex(f.regions[i].address, 16) + ") equal to main store");
    }
}

}  // namespace

void verifyOffload(DemoFacts& f, DemoLog& log) {
    Checks c(f);
    std::string why;
    std::unique_ptr<decode::FileSource> source = decode::FileSource::open(f.offloadFile, why);
    if (!source) throw DemoFailure("cannot open " + f.offloadFile + ": " + why);
    decode::DecodedStream d = decode::decodeStream(*source);
    const size_t errors = d.findings.errorCount();
    c.expect(d.consistent(), "the decoder finds " + std::to_string(errors) + " errors, " +
                                 std::to_string(d.findings.all().size() - errors) + " notices");
    c.expect(d.size == f.expectedStreamSize, std::to_string(d.size) + " bytes, as the dump's state record says");
    c.expect(d.summary && d.summary->summaryDumpId == f.id && d.header.dumpFileName == f.dumpFileName,
             "summary of dump " + idText(f.id) + ", " + d.header.dumpFileName);
    if (d.hardware) checkNodes(d, f, c);
    if (d.hypervisor)
        checkRegions(*source, d, f, c);
    else
        c.expect(false, "hypervisor data section");

    log.step("parse", "decoded " + f.offloadFile);
    for (const std::string& s : f.verified) log.more("ok      " + s);
    for (const std::string& s : f.failed) log.more("FAILED  " + s);
}

}  // namespace platdump
