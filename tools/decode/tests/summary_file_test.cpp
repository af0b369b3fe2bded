// The file-names region of a summary file: each named slot with its role,
// its node-group index, the path as the library opens it and the name as a
// person reads it.
#include <tuple>

#include "decode/summaryFile.h"
#include "tests/common/simTest.h"

using namespace decode;

namespace {

void putName(std::vector<uint8_t>& image, size_t rel, const std::string& name) {
    std::copy(name.begin(), name.end(), image.begin() + summaryfile::kFileNamesRegion + rel);
}

TEST(SummaryFileNames, EachSlotKeepsItsRoleIndexAndStoredBytes) {
    using namespace filenames;
    std::vector<uint8_t> image(summaryfile::kLength, 0);
    putName(image, kHwTocName + 2 * kNameWidth, "/plat_dump/toc\x01" "2");
    putName(image, kSpDataName + 9 * kNameWidth, "/plat_dump/sp9");
    putName(image, kMdrtName, "/plat_dump/MDRT");
    putName(image, kResourceName, std::string(kNameWidth, 'r'));  // no NUL in the slot
    putName(image, kSummaryName, "/plat_dump/SYSDUMP.0000001A.summary");
    image[summaryfile::kFileNamesRegion + kMdrtSize + 3] = 64;

    SummaryFile f = decodeSummaryFile(MemorySource(image.data(), image.size()));
    ASSERT_TRUE(f.fileNames);
    using Slot = std::tuple<std::string, FileRole, size_t, std::string, std::string, std::optional<uint32_t>>;
    std::vector<Slot> slots;
    for (const NamedFile& n : f.fileNames->files) slots.emplace_back(n.field, n.role, n.index, n.path, n.name, n.recordedSize);
    const std::vector<Slot> expected = {
        {"hwTocFileName[2]", FileRole::HwToc, 2, "/plat_dump/toc\x01" "2", "/plat_dump/toc\\x012", 0u},
        {"spDataFileName[9]", FileRole::SpData, 9, "/plat_dump/sp9", "/plat_dump/sp9", 0u},
        {"mdrtFileName", FileRole::Mdrt, 0, "/plat_dump/MDRT", "/plat_dump/MDRT", 64u},
        {"resourceDumpFileName", FileRole::Resource, 0, std::string(kNameWidth, 'r'), std::string(kNameWidth, 'r'),
         std::nullopt},
    };
    EXPECT_EQ(slots, expected);
    EXPECT_EQ(f.fileNames->summaryFilePath, "/plat_dump/SYSDUMP.0000001A.summary");
}

}  // namespace
