#include "events.h"

#include <algorithm>

#include "platdump/dumpState.h"
#include "repository.h"

namespace platdump::serve {

namespace {

bool differs(const EntryFacts& a, const EntryFacts& b) {
    return a.dumpFlags != b.dumpFlags || a.progress != b.progress || a.hwErrorFlags != b.hwErrorFlags ||
           a.memoryDumpErrorFlags != b.memoryDumpErrorFlags || a.contentType != b.contentType;
}

}  // namespace

std::vector<EntryChange> entryChanges(const EntryMap& before, const EntryMap& after) {
    std::vector<EntryChange> changes;
    auto b = before.begin();
    auto a = after.begin();
    while (b != before.end() || a != after.end()) {
        if (a == after.end() || (b != before.end() && b->first < a->first)) {
            changes.push_back({Change::Removed, b->second});
            ++b;
        } else if (b == before.end() || a->first < b->first) {
            changes.push_back({Change::Created, a->second});
            ++a;
        } else {
            if (differs(b->second, a->second)) changes.push_back({Change::Changed, a->second});
            ++a;
            ++b;
        }
    }
    return changes;
}

std::string eventFrame(uint64_t sequence, const std::string& json) {
    return "id: " + std::to_string(sequence) + "\ndata: " + json + "\n\n";
}

EventHub::EventHub(std::chrono::milliseconds interval) : iv_interval(interval) {}

EventHub::~EventHub() { stop(); }

void EventHub::start() { iv_thread = std::thread([this] { watch(); }); }

void EventHub::stop() {
    {
        std::lock_guard<std::mutex> held(iv_mutex);
        iv_stopping = true;
    }
    iv_changed.notify_all();
    if (iv_thread.joinable()) iv_thread.join();
}

bool EventHub::look(EntryMap& now) {
    std::vector<_dumpstate> states;
    if (!repository::states(states)) return false;
    for (const _dumpstate& s : states) now[s.dumpId] = repository::stateFacts(s);
    return true;
}

std::shared_ptr<EventHub::Subscription> EventHub::subscribe() {
    EntryMap now;
    const bool looked = look(now);  // outside the hub's mutex: the library lock is never taken inside it
    std::shared_ptr<Subscription> s(new Subscription(*this));
    std::lock_guard<std::mutex> held(iv_mutex);
    if (!iv_haveBaseline && looked) {
        iv_baseline = std::move(now);
        iv_haveBaseline = true;
    }
    iv_subscribers.push_back(s.get());
    iv_changed.notify_all();
    return s;
}

EventHub::Subscription::~Subscription() {
    std::lock_guard<std::mutex> held(iv_hub.iv_mutex);
    auto& subs = iv_hub.iv_subscribers;
    subs.erase(std::remove(subs.begin(), subs.end(), this), subs.end());
    if (subs.empty()) iv_hub.iv_haveBaseline = false;  // the next subscriber starts from its own look
}

EventHub::Next EventHub::Subscription::next(std::string& frame, std::chrono::milliseconds wait) {
    std::unique_lock<std::mutex> held(iv_hub.iv_mutex);
    iv_hub.iv_changed.wait_for(held, wait, [&] { return iv_hub.iv_stopping || iv_overrun || !iv_frames.empty(); });
    if (iv_overrun) return Next::Overrun;
    if (!iv_frames.empty()) {
        frame = std::move(iv_frames.front());
        iv_frames.pop_front();
        return Next::Event;
    }
    return iv_hub.iv_stopping ? Next::Ended : Next::Idle;
}

void EventHub::publish(const std::vector<EntryChange>& changes) {
    const std::string timestamp = repository::now();
    std::lock_guard<std::mutex> held(iv_mutex);
    for (const EntryChange& c : changes) {
        ++iv_sequence;
        const std::string frame = eventFrame(
            iv_sequence, eventJson(iv_sequence, c.change, c.entry, timestamp).dump(-1, ' ', false,
                                                                                   Json::error_handler_t::replace));
        for (Subscription* s : iv_subscribers) {
            if (s->iv_frames.size() >= kQueueLimit)
                s->iv_overrun = true;
            else
                s->iv_frames.push_back(frame);
        }
    }
    iv_changed.notify_all();
}

void EventHub::watch() {
    std::unique_lock<std::mutex> held(iv_mutex);
    while (!iv_stopping) {
        if (iv_subscribers.empty()) {
            iv_changed.wait(held, [&] { return iv_stopping || !iv_subscribers.empty(); });
            continue;
        }
        iv_changed.wait_for(held, iv_interval, [&] { return iv_stopping; });
        if (iv_stopping || iv_subscribers.empty()) continue;
        held.unlock();
        EntryMap now;
        const bool looked = look(now);
        std::vector<EntryChange> changes;
        held.lock();
        if (!looked || iv_subscribers.empty()) continue;
        if (iv_haveBaseline) changes = entryChanges(iv_baseline, now);
        iv_baseline = std::move(now);
        iv_haveBaseline = true;
        if (changes.empty()) continue;
        held.unlock();
        publish(changes);
        held.lock();
    }
}

}  // namespace platdump::serve
