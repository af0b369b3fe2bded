#include "dumpTest.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>

#include "platdump/dumpStatusLogger.h"

namespace testsupport {

std::string hex(uint64_t value) {
    char text[24];
    std::snprintf(text, sizeof text, "%llX", static_cast<unsigned long long>(value));
    return text;
}

std::string hexOf(const std::vector<uint8_t>& bytes) {
    std::string out;
    for (uint8_t c : bytes) out += {"0123456789ABCDEF"[c >> 4], "0123456789ABCDEF"[c & 15]};
    return out;
}

std::string signature(const Json& j) {
    std::string s;
    auto add = [&s](const std::string& part) { s += (s.empty() ? "" : " ") + part; };
    for (const Json& src : j.at("srcs")) {
        const Json& w = src.at("words");
        add(src.at("component") != 0xF000 ? "platform:" + hex(src.at("reasonCode"))
                                          : hex8(w[0]) + " " + hex(w[1]) + " " + hex(w[2]) + " " + hex(w[3]));
    }
    add("rc=" + hex(j.at("rc")) + " sev=" + hex(j.at("severity")));
    for (const Json& c : j.at("callPoints"))
        add("cp=" + hex8(c.at("function").get<unsigned>() | c.at("file").get<unsigned>()).substr(4) + ":" +
            hex(c.at("location")) + ":" + hex(c.at("word")));
    for (size_t i = 0; i < j.at("userData").size(); ++i) {
        const std::string type = j["userData"][i].at("type");
        if (type.compare(0, 4, "Dump") != 0) continue;  // the platform's own
        const std::vector<uint8_t> b = userDataBytes(j, i);
        add(type == "DumpKeyValueStringInfo" ? "kv=" + std::string(b.begin(), b.end() - (b.empty() ? 0 : 1))
                                             : type + "=" + hexOf(b));
    }
    for (const Json& t : j.at("traces")) add("tr=" + t.at("buffer").get<std::string>());
    return s;
}

std::string signature(ErrlEntry* entry) { return entry ? signature(taken(entry)) : ""; }

std::string hex8(uint32_t id) {
    char s[9];
    std::snprintf(s, sizeof s, "%08X", id);
    return s;
}

std::string summaryPath(const Kind& k) {
    const char* prefix[] = {"", "HWUDUMP.", "SYSDUMP.", "RESDUMP."};
    return std::string("/plat_dump/") + prefix[k.type] + hex8(k.id) + ".summary";
}

std::string dumpFile(const Kind& k, const std::string& suffix) { return "/plat_dump/" + hex8(k.id) + "." + suffix; }

std::string mdrtOf(const std::vector<Region>& regions, size_t pad) {
    Bytes b;
    for (const Region& r : regions)
        b.u64(0xAAAAAAAAAAAAAAAAULL).u64(r.address).u32(0xBBBBBBBB).u32(r.length).u64(0xCCCCCCCCCCCCCCCCULL);
    b.fill(pad, 0xDD);
    return std::string(b.bytes().begin(), b.bytes().end());
}

std::vector<uint8_t> slice(const std::vector<uint8_t>& v, size_t offset, size_t n) {
    if (offset + n > v.size()) return {};
    return std::vector<uint8_t>(v.begin() + long(offset), v.begin() + long(offset + n));
}

void DumpTest::SetUp() {
    SimTest::SetUp();
    iv_logsSeen = 0;
    iv_extract.reset();
    iv_handle = {};
    platsim::setClock(kClock);
    platsim::setRegistry("svpd/Raw_MachineSerialNumber", "ab12cd3x");
    platsim::setRegistry("svpd/Raw_MachineTypeModel", kTypeModel);
    platsim::setRegistryU32("smgr/CecIplType", 0x0000A1B2);
    platsim::setRegistryU32("smgr/TovIplType", 0x12345678);
    platsim::setRegistry("fstp/SystemName", kSystemName);
    platsim::setRegistry("menu/VoskDumpContent", std::string(1, static_cast<char>(kVoskDumpContent)));
    platsim::setRegistry("menu/HypMode", std::string(1, '\x01'));
    platsim::setRegistry("mbox/voskHRMOR", std::string("\0\0\0\0\x12\x34\x56\x78", 8));
    setVoskFile(Bytes().u32(kVoskTime).u32(kVoskWord1).u32(kVoskWord2).text("PAYLOAD8"));
    startRmgrLog();
}

void DumpTest::TearDown() {
    EXPECT_EQ(newLogs(), std::vector<std::string>{}) << "committed, never looked at";
    SimTest::TearDown();
}

std::vector<std::string> DumpTest::newLogs() {
    std::vector<std::string> lines = platsim::committedErrorLogs(), out;
    for (size_t i = iv_logsSeen; i < lines.size(); ++i) out.push_back(signature(Json::parse(lines[i])));
    iv_logsSeen = lines.size();
    return out;
}

std::function<void()> fault(const std::string& name, const std::string& params) {
    return [name, params] { platsim::setFault(name, params); };
}

namespace {

// Whether signatures fit the expected ones, where a '*' stands for any one character.
bool fit(const std::vector<std::string>& got, const std::vector<std::string>& want) {
    auto same = [](const std::string& g, const std::string& w) {
        return std::equal(g.begin(), g.end(), w.begin(), w.end(), [](char a, char b) { return b == '*' || a == b; });
    };
    return std::equal(got.begin(), got.end(), want.begin(), want.end(), same);
}

}  // namespace

void DumpTest::expectRows(const std::vector<FailureRow>& rows) {
    for (const FailureRow& r : rows) {
        SCOPED_TRACE(r.condition);
        TearDown();
        SetUp();
        if (r.arrange) r.arrange();
        newLogs();  // what arrange committed is not the row's
        const std::vector<std::string> returned = {signature(r.act())}, wanted = {r.returned};
        platsim::clearFaults();
        EXPECT_PRED2(fit, returned, wanted);
        EXPECT_PRED2(fit, newLogs(), r.committed);
        if (r.check) r.check();
        EXPECT_EQ(newLogs(), std::vector<std::string>{}) << "committed by check, never looked at";
    }
}

void DumpTest::setVoskFile(const std::vector<uint8_t>& v) {
    platsim::setRegistry("dump/VoskInfo", std::string(v.begin(), v.end()));
}

void DumpTest::create(const Kind& k) {
    ErrlEntry* errl = nullptr;
    DumpSummary s(k.type, k.id, errl);
    ASSERT_EQ(signature(errl), "");
}

std::unique_ptr<DumpSummary> DumpTest::open(const Kind& k) {
    ErrlEntry* errl = nullptr;
    std::unique_ptr<DumpSummary> s(new DumpSummary(k.id, errl, k.type));
    EXPECT_EQ(signature(errl), "");
    return s;
}

std::vector<std::string> DumpTest::makeDump(const Kind& k, uint16_t flags, const Parts& parts) {
    std::vector<std::string> named = {summaryPath(k)};
    create(k);
    std::unique_ptr<DumpSummary> s = open(k);
    auto put = [&](const std::string& path, const std::string& bytes) {
        writeFile(primary(path), bytes);
        writeFile(backup(path), bytes);
        named.push_back(path);
        return path;
    };
    for (unsigned i = 0; i < parts.hwPairs; ++i) {
        std::string data = put(dumpFile(k, "HwData" + std::to_string(i)), "data");
        std::string toc = put(dumpFile(k, "HwToc" + std::to_string(i)), "toc");
        s->SetHWDATAFileNames(i, data, toc);
    }
    std::string toc = put(dumpFile(k, "SysTOC"), parts.sysToc), data = put(dumpFile(k, "SysData"), parts.sysData);
    s->SetSYSDATAFileNames(data, toc);
    if (!parts.regions.empty()) {
        std::string table = mdrtOf(parts.regions);
        std::string mdrt = put(dumpFile(k, "MDRT"), table);
        s->setMDRTFileName(mdrt, static_cast<unsigned>(table.size()));
        for (const Region& r : parts.regions) {
            std::string fill(r.length, '\0');
            for (uint32_t i = 0; i < r.length; ++i) fill[i] = static_cast<char>((r.address + i) * 13 + 7);
            platsim::writeMainStore(r.address, fill);
        }
    }
    s->setDumpFlags(flags);
    if (parts.privateFlags) s->SetPrivateFlagsByMask(parts.privateFlags);
    if (parts.statusLog) {
        DumpStatusLogger(k.id).setSystemDumpRequested();
        named.push_back("/plat_dump/dumpstatus." + hex8(k.id));
    }
    return named;
}

uint32_t be32(const std::vector<uint8_t>& b, size_t off) {
    return uint32_t(b[off]) << 24 | uint32_t(b[off + 1]) << 16 | uint32_t(b[off + 2]) << 8 | b[off + 3];
}
uint32_t NodalPair::entrySize() const { return uint32_t(toc[32] << 8 | toc[33]); }
uint32_t NodalPair::entryCount() const { return be32(toc, 28); }
uint32_t NodalPair::word(uint32_t entry, size_t off) const { return be32(toc, 48 + entry * entrySize() + off); }

Bytes nodalHeader(const std::string& name, uint32_t contentCode, uint32_t total, uint16_t index, uint32_t dataSize,
                  uint32_t count, uint16_t entrySize) {
    return std::move(Bytes().field(name, 8).u16(48).u16(2).u32(contentCode).u32(total).u16(0x0210).u16(index)
                         .u32(dataSize).u32(count).u16(entrySize).fill(14));
}

std::vector<uint8_t> itemBytes(uint32_t id) {
    uint32_t x = id * 2654435761u + 12345;
    std::vector<uint8_t> b((x >> 7) % 300);
    for (uint8_t& c : b) c = static_cast<uint8_t>((x = x * 1103515245u + 12345) >> 16);
    return b;
}

ErrlEntry* putItem(DumpNodalSection& s, uint32_t id) {
    std::vector<uint8_t> b = itemBytes(id);
    DumpSpTocEntry entry{id, 0xFFFFFFFF, static_cast<uint32_t>(b.size())};
    return s.writeEntry(entry, reinterpret_cast<char*>(b.data()));
}

NodalPair readPair(const std::string& tocPath, const std::string& dataPath) {
    return {readBytes(platsim::hostPath(tocPath)), readBytes(platsim::hostPath(dataPath))};
}

std::vector<uint32_t> checkConsistent(const NodalPair& p) {
    std::vector<uint32_t> ids;
    if (p.toc.size() < 48 || p.toc.size() != 48u + p.entrySize() * p.entryCount()) {
        ADD_FAILURE() << "TOC of " << p.toc.size() << " bytes";
        return ids;
    }
    EXPECT_EQ(be32(p.toc, 24), p.data.size());
    EXPECT_EQ(be32(p.toc, 16), p.toc.size() + p.data.size());
    EXPECT_EQ((p.toc.size() + p.data.size()) % 16, 0u);
    size_t end = 0;  // of the previous item
    auto padding = [&](size_t to) {
        return to >= end && to - end < 16 && to <= p.data.size() &&
               std::all_of(p.data.begin() + long(end), p.data.begin() + long(to), [](uint8_t b) { return b == 0; });
    };
    for (uint32_t i = 0; i < p.entryCount(); ++i) {
        uint32_t id = p.word(i, 0), offset = p.word(i, 4), size = p.word(i, 8);
        std::vector<uint8_t> item = itemBytes(id);
        ids.push_back(id);
        bool ok = padding(offset) && size == item.size() && uint64_t(offset) + size <= p.data.size() &&
                  std::equal(item.begin(), item.end(), p.data.begin() + offset);
        EXPECT_TRUE(ok) << "entry " << i << " (id " << id << ") at " << offset << " after " << end;
        if (!ok) return ids;
        end = offset + size;
    }
    EXPECT_TRUE(padding(p.data.size())) << "data of " << p.data.size() << " bytes, items end at " << end;
    return ids;
}

void HeldDumpTest::SetUp() {
    DumpTest::SetUp();
    create(kSys);
    s = open(kSys);
}

void HeldDumpTest::TearDown() {
    s.reset();
    DumpTest::TearDown();
}

void apply(std::vector<uint8_t>& v, const std::vector<Patch>& patches) {
    for (const Patch& p : patches) {
        if (v.size() < p.offset + p.bytes.size()) v.resize(p.offset + p.bytes.size());
        std::copy(p.bytes.begin(), p.bytes.end(), v.begin() + long(p.offset));
    }
}

void HeldDumpTest::expectChange(const std::function<void()>& change, const std::vector<Patch>& patches) {
    std::vector<uint8_t> want = bytesOf(kSys);
    apply(want, patches);
    change();
    for (bool onBackup : {false, true}) EXPECT_EQ(bytesOf(kSys, onBackup), want) << (onBackup ? "backup" : "here");
}

std::vector<std::string> DumpTest::listing(bool onBackup) const {
    std::vector<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(onBackup ? backup("/plat_dump") : primary("/plat_dump")))
        names.push_back(e.path().filename());
    std::sort(names.begin(), names.end());
    return names;
}

std::vector<uint8_t> DumpTest::bytesOf(const Kind& k, bool onBackup) const {
    return readBytes(onBackup ? backup(summaryPath(k)) : primary(summaryPath(k)));
}

uint32_t DumpTest::fieldOf(const Kind& k, size_t offset, size_t width) const {
    uint32_t v = 0;
    for (uint8_t b : slice(bytesOf(k), offset, width)) v = v << 8 | b;
    return v;
}

void DumpTest::patch(const Kind& k, size_t offset, const std::vector<uint8_t>& bytes) {
    std::vector<uint8_t> v = bytesOf(k);
    apply(v, {{offset, bytes}});
    writeFile(primary(summaryPath(k)), std::string(v.begin(), v.end()));
}

std::string DumpTest::mainStore(uint64_t address, uint32_t length) const {
    std::string out(length, '\0');
    std::ifstream in(root() + "/mainstore", std::ios::binary);
    EXPECT_TRUE(in.seekg(static_cast<std::streamoff>(address)).read(&out[0], length)) << "short main store";
    return out;
}

void DumpTest::setSystem(uint32_t state, uint8_t mode, uint32_t mainStoreWord, size_t recordBytes) {
    const std::vector<uint8_t> record = Bytes().u32(state).fill(24).u32(mainStoreWord).fill(24).bytes();
    const long length = long(recordBytes ? recordBytes : record.size());
    platsim::setRegistry("smgr/StateData", std::string(record.begin(), record.begin() + length));
    platsim::setRegistry("iplp/SysOpMode", std::string(1, static_cast<char>(mode)));
}

ErrlEntry* DumpTest::extractCall(uint32_t id, uint64_t offset, uint32_t length, bool withMainStore) {
    if (!iv_extract) iv_extract.reset(new DumpExtractData);
    std::string buffer(length, '\0');
    iv_last.length = length;
    ErrlEntry* e = iv_extract->ExtractDump(id, offset, iv_last.length, &buffer[0], withMainStore, &iv_handle);
    iv_last.bytes = buffer.substr(0, iv_last.length);
    return e;
}

Extracted DumpTest::extract(uint32_t id, uint64_t offset, uint32_t length, bool withMainStore) {
    iv_last.log = signature(extractCall(id, offset, length, withMainStore));
    return iv_last;
}

}  // namespace testsupport
