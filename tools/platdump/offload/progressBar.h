// The progress of a long transfer on a terminal: one line, rewritten in
// place, with a bar, the percentage and the bytes done of the total. It is
// drawn only when enabled (the tool enables it when stderr is a terminal),
// and redrawn at each whole percent or after a fifth of a second.
#pragma once

#include <chrono>
#include <cstdint>
#include <ostream>
#include <string>

namespace platdump {

class ProgressBar {
public:
    // total 0: unknown, only the bytes done are shown.
    ProgressBar(std::ostream& out, bool enabled, std::string label, uint64_t total);
    void update(uint64_t done);
    // Draws the final state and ends the line.
    void finish(uint64_t done);
    // Ends the line as it stands (a failed transfer).
    void stop();

private:
    void draw(uint64_t done, unsigned percent);

    std::ostream& iv_out;
    bool iv_enabled;
    std::string iv_label;
    uint64_t iv_total;
    unsigned iv_shownPercent = ~0u;
    std::chrono::steady_clock::time_point iv_shownAt;
};

}  // namespace platdump
