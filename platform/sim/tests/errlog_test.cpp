// The error-log service: one committed record per entry, its trace lines
// and texts, and the byte images of entries and SRCs.
#include <cstring>

#include "platform/errlEntry.h"
#include "platform/sim/platsim.h"
#include "platform/trace.h"
#include "platform/utilFile.h"
#include "tests/common/simTest.h"

using namespace testsupport;

namespace {

class ErrorLog : public SimTest {};

ErrlEntry* sampleEntry() {
    ErrlEntry* e = new ErrlEntry(0xF000, ERRL_SEV_PREDICTIVE, ERRL_ETYPE_NOT_APPLICABLE,
                                 SRCI_TYPE_FSP, 0, 0x13, SVC_DUMP_FAILURE, 0xF00B, 0x01130B09,
                                 0x1A, 2, 3, EPUB_UNKNOWN, SRCI_TERM_STATE_NONE, SRCI_FORMAT_F0);
    e->setRC(1);
    e->addSRC(0xF000, SRCI_TYPE_FSP, 0, 0x21, SVC_DUMP_INFO, 0xF0F0, 0x02210013, 0, 0, 0,
              EPUB_FIRMWARE_SP);
    e->addProcedureCallout(SRCI_PRIORITY_LOW, EPUB_PRC_FIRMWARE);
    e->addSwErr(0xF000, 0x0200, 0x21, 0x20, 0x1A);
    const uint8_t data[3] = {0xAB, 0x00, 0x7F};
    e->addUsrData("Sample", data, 3);
    return e;
}

// A line is formatted when the buffer is read, from the arguments as they
// were when it was written; texts reach the record as UTF-8.
TEST_F(ErrorLog, TraceLinesAndTextsReachTheRecordAsWritten) {
    trace_desc_t td = nullptr;
    ASSERT_EQ(trace_adal_init_buffer(&td, "utf8", 4096), 0);
    char changing[] = "before";
    trace_adal_write_all(td, "%s|%s|%-5s|%05.1f|%*d|%llX|%zu|%c%%", "caf\xC3\xA9 \x7F", "bad \xFF end", changing, 2.25, 4,
                         7, 0xABCDEF0123ULL, size_t(9), 'z');
    std::strcpy(changing, "after");
    trace_adal_write_all(td, "%s", std::string(300, 'x').c_str());  // longer than a line

    ErrlEntry* e = sampleEntry();
    e->CollectTrace("utf8", 0);
    e->commit(0xF000, 0, ERRL_SEV_ENTRY_DEFAULT, ERRL_ETYPE_NOT_APPLICABLE);
    ErrlEntry* second = sampleEntry();
    EXPECT_NE(second->eid(), e->eid()) << "each entry gets its own id";
    second->commit(0xF000, 0, ERRL_SEV_ENTRY_DEFAULT, ERRL_ETYPE_NOT_APPLICABLE);
    const std::vector<std::string> raw = platsim::committedErrorLogs();
    ASSERT_EQ(raw.size(), 2u) << "one record per commit";
    EXPECT_EQ(Json::parse(raw[0])["eid"].get<uint32_t>(), e->eid());
    EXPECT_EQ(Json::parse(raw[1])["plid"].get<uint32_t>(), second->plid());
    delete e;
    delete second;
    EXPECT_NE(raw[0].find("caf\xC3\xA9 \x7F"), std::string::npos) << "UTF-8 is written as it is";
    const Json lines = Json::parse(raw[0])["traces"][0]["lines"];
    ASSERT_EQ(lines.size(), 2u);
    // An invalid byte becomes U+FFFD.
    EXPECT_EQ(lines[0], "caf\xC3\xA9 \x7F|bad \xEF\xBF\xBD end|before|002.2|   7|ABCDEF0123|9|z%");
    EXPECT_EQ(lines[1], std::string(255, 'x'));
}

TEST_F(ErrorLog, EntryImageRoundTrips) {
    ErrlEntry* e = sampleEntry();
    e->CollectTrace("none", 0);
    std::vector<uint8_t> image(e->flattenedSize());
    EXPECT_NE(e->flatten(image.data(), static_cast<uint32_t>(image.size() - 1)), 0u);
    ASSERT_EQ(e->flatten(image.data(), static_cast<uint32_t>(image.size())), 0u);
    EXPECT_EQ(std::memcmp(image.data(), "ERRL", 4), 0);
    EXPECT_EQ(image[4] << 24 | image[5] << 16 | image[6] << 8 | image[7], static_cast<int>(image.size()));

    ErrlEntry* back = ErrlEntry::unflatten(image.data(), static_cast<uint32_t>(image.size()));
    ASSERT_NE(back, nullptr);
    EXPECT_EQ(back->toJson(), e->toJson());
    delete back;

    image[41] ^= 0xFF;  // inside the first SRC's magic
    EXPECT_EQ(ErrlEntry::unflatten(image.data(), static_cast<uint32_t>(image.size())), nullptr);
    EXPECT_EQ(ErrlEntry::unflatten(image.data(), 20), nullptr);

    platsim::setFault("ErrlEntry.flatten", "count=1");
    EXPECT_NE(e->flatten(image.data(), static_cast<uint32_t>(image.size())), 0u);
    delete e;
}

// (Reading it back, and refusing a damaged or cut image, show in the
// summary's SRC tests.)
TEST_F(ErrorLog, SrcImageIsBigEndian) {
    SrciSrc src(0xF000, SRCI_TYPE_FSP, 0x11223344, 0x13, SVC_DUMP_FAILURE, 0xF00B, 0x01130B09,
                0xA, 0xB, 0xC, EPUB_FIRMWARE_SP, SRCI_TERM_STATE_NONE, SRCI_FORMAT_F0);
    src.setExtraData(std::vector<uint8_t>(356, 0x5A));
    ASSERT_EQ(src.flattenedSize(), 400u);
    EXPECT_EQ(src.getAsciiString(), "B181F00B");

    UtilFile f("/plat_dump/src");
    f.Open("w+", false);
    ASSERT_EQ(src.flatten(f), 0);
    f.Close();
    EXPECT_EQ(readBytes(primary("/plat_dump/src")),
              Bytes().text("SRCI").u16(400).u8(1).u8(0xB1).u16(0xF000).u16(0xF00B).u16(0x4399)
                  .u8(0x81).u8(0).u8(0xF0).u8(0x13).u16(0).u32(0x11223344)
                  .u32(0x01130B09).u32(0xA).u32(0xB).u32(0xC).u32(356).fill(356, 0x5A).bytes());
}

}  // namespace
