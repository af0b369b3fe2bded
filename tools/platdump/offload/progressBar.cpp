#include "progressBar.h"

#include "textFormat.h"

namespace platdump {

namespace {

constexpr unsigned kWidth = 30;  // characters of the bar
constexpr auto kRedraw = std::chrono::milliseconds(200);

}  // namespace

ProgressBar::ProgressBar(std::ostream& out, bool enabled, std::string label, uint64_t total)
    : iv_out(out), iv_enabled(enabled), iv_label(std::move(label)), iv_total(total) {}

void ProgressBar::update(uint64_t done) {
    if (!iv_enabled) return;
    // An estimate of the total can be short: the bar waits at 99 % then.
    unsigned percent = iv_total == 0 ? 0 : done >= iv_total ? 99 : static_cast<unsigned>(done * 100 / iv_total);
    auto now = std::chrono::steady_clock::now();
    if (percent == iv_shownPercent && now - iv_shownAt < kRedraw) return;
    iv_shownAt = now;
    draw(done, percent);
}

void ProgressBar::finish(uint64_t done) {
    if (!iv_enabled) return;
    draw(done, 100);
    iv_out << "\n";
    iv_out.flush();
}

void ProgressBar::stop() {
    if (!iv_enabled || iv_shownPercent == ~0u) return;
    iv_out << "\n";
    iv_out.flush();
}

void ProgressBar::draw(uint64_t done, unsigned percent) {
    iv_shownPercent = percent;
    std::string line = "\r" + iv_label + " ";
    if (iv_total > 0) {
        unsigned filled = percent * kWidth / 100;
        line += "[" + std::string(filled, '#') + std::string(kWidth - filled, '.') + "] ";
        line += (percent < 10 ? "  " : percent < 100 ? " " : "") + std::to_string(percent) + "%  ";
        line += byteSize(done) + " of " + byteSize(iv_total < done ? done : iv_total);
    } else {
        line += byteSize(done);
    }
    iv_out << line << "\033[K";  // clears what a longer earlier line left
    iv_out.flush();
}

}  // namespace platdump
