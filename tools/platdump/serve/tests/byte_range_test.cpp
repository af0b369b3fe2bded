// The Range and If-Range decision, against a 1000-byte representation.
#include <gtest/gtest.h>

#include "byteRange.h"

using platdump::serve::decideRange;
using platdump::serve::RangeDecision;

namespace {

struct Row {
    const char* range;  // nullptr: no Range header
    const char* ifRange;
    RangeDecision::Kind kind;
    uint64_t first, length;
};

TEST(ByteRange, EachHeaderIsDecided) {
    const char* tag = "\"0000001A-00112233aabbccdd\"";
    const std::vector<Row> rows = {
        {nullptr, nullptr, RangeDecision::Whole, 0, 1000},
        {"bytes=0-0", nullptr, RangeDecision::Partial, 0, 1},
        {"bytes=0-999", nullptr, RangeDecision::Partial, 0, 1000},
        {"bytes=10-", nullptr, RangeDecision::Partial, 10, 990},
        {" bytes = 10 - 19 ", nullptr, RangeDecision::Partial, 10, 10},
        {"BYTES=999-5000", nullptr, RangeDecision::Partial, 999, 1},
        {"bytes=990-1000", nullptr, RangeDecision::Partial, 990, 10},
        {"bytes=0-18446744073709551616", nullptr, RangeDecision::Partial, 0, 1000},
        {"bytes=-1", nullptr, RangeDecision::Partial, 999, 1},
        {"bytes=-5000", nullptr, RangeDecision::Partial, 0, 1000},
        {"bytes=-99999999999999999999999", nullptr, RangeDecision::Partial, 0, 1000},
        {"bytes=1000-", nullptr, RangeDecision::Unsatisfiable, 0, 0},
        {"bytes=-0", nullptr, RangeDecision::Unsatisfiable, 0, 0},
        {"bytes=5-4", nullptr, RangeDecision::Unsatisfiable, 0, 0},
        {"bytes=0-1,3-4", nullptr, RangeDecision::Unsatisfiable, 0, 0},
        {"bytes=", nullptr, RangeDecision::Unsatisfiable, 0, 0},
        {"bytes=-", nullptr, RangeDecision::Unsatisfiable, 0, 0},
        {"bytes=+1-2", nullptr, RangeDecision::Unsatisfiable, 0, 0},
        {"bytes=1-2-3", nullptr, RangeDecision::Unsatisfiable, 0, 0},
        {"bytes=a-b", nullptr, RangeDecision::Unsatisfiable, 0, 0},
        {"bytes=--5", nullptr, RangeDecision::Unsatisfiable, 0, 0},
        {"bytes=999999999999999999999999-", nullptr, RangeDecision::Unsatisfiable, 0, 0},
        {"0-5", nullptr, RangeDecision::Unsatisfiable, 0, 0},
        {"items=0-5", nullptr, RangeDecision::Whole, 0, 1000},
        {"bytes=10-19", tag, RangeDecision::Partial, 10, 10},
        {"bytes=10-19", "\"0000001A-ffffffffffffffff\"", RangeDecision::Whole, 0, 1000},
        {"bytes=10-19", "W/\"0000001A-00112233aabbccdd\"", RangeDecision::Whole, 0, 1000},
        {"bytes=10-19", "Sat, 05 Dec 2026 20:30:15 GMT", RangeDecision::Whole, 0, 1000},
        {"bytes=5000-", "\"stale\"", RangeDecision::Whole, 0, 1000},
    };
    for (const Row& r : rows) {
        auto opt = [](const char* s) { return s ? std::optional<std::string_view>(s) : std::nullopt; };
        RangeDecision d = decideRange(opt(r.range), opt(r.ifRange), tag, 1000);
        const std::string row = std::string(r.range ? r.range : "(none)") + " / " + (r.ifRange ? r.ifRange : "");
        EXPECT_EQ(std::make_tuple(d.kind, d.first, d.length), std::make_tuple(r.kind, r.first, r.length)) << row;
        EXPECT_EQ(*d.why != '\0', d.kind == RangeDecision::Unsatisfiable) << row;  // the why of a refusal
    }
    EXPECT_EQ(decideRange("bytes=0-", std::nullopt, tag, 0).kind, RangeDecision::Unsatisfiable);
    EXPECT_EQ(decideRange("bytes=-5", std::nullopt, tag, 0).kind, RangeDecision::Unsatisfiable);
}

}  // namespace
