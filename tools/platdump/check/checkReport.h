// What `platdump check` found: each finding has a kind (the kind strings
// are part of the tool's interface), the dump it belongs to (none for a
// file no dump claims), the path of the file at fault and a detail for the
// engineer. Files that could not be read at all are kept apart: they make
// the check fail without being findings about the repository.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace platdump {
namespace check {

constexpr char kSummaryDamaged[] = "summary-damaged";
constexpr char kFileMissing[] = "file-missing";
constexpr char kSizeMismatch[] = "size-mismatch";
constexpr char kSectionInconsistent[] = "section-inconsistent";
constexpr char kItemsMisplaced[] = "items-misplaced";
constexpr char kMdrtDamaged[] = "mdrt-damaged";
constexpr char kStatusLogDamaged[] = "status-log-damaged";
constexpr char kOrphan[] = "orphan";
constexpr char kNameOutsideRepository[] = "name-outside-repository";
constexpr char kMirrorMissing[] = "mirror-missing";
constexpr char kMirrorDiffers[] = "mirror-differs";
constexpr char kBackupOnly[] = "backup-only";

struct Finding {
    std::string kind;
    std::optional<unsigned int> dump;
    std::string path;  // as readable text
    std::string detail;
};

class Report {
public:
    // path is kept as readable text (bytes outside printable ASCII as \xNN).
    void add(const char* kind, std::optional<unsigned int> dump, const std::string& path, const std::string& detail);
    // A file the check could not read; why names it.
    void unreadable(const std::string& why) { iv_unreadable.push_back(why); }

    const std::vector<Finding>& findings() const { return iv_findings; }
    const std::vector<std::string>& unreadableFiles() const { return iv_unreadable; }
    bool consistent() const { return iv_findings.empty() && iv_unreadable.empty(); }
    // Keeps only what belongs to dump id.
    void keepDump(unsigned int id);
    // Groups the findings by dump, in ascending order, those of no dump
    // last; the order within a dump is kept.
    void group();

private:
    std::vector<Finding> iv_findings;
    std::vector<std::string> iv_unreadable;
};

}  // namespace check
}  // namespace platdump
