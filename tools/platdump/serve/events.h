// The event stream's source: one watcher thread, shared by every client,
// that lists the repository through the library at a short interval while
// anyone is subscribed and turns what changed since the last look into
// events: a dump created, changed (progress, completion, failure flags) or
// removed, whichever process made the change. Each subscriber gets every
// event from its subscription on, as server-sent-event frames.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "entryFacts.h"
#include "redfishJson.h"

namespace platdump::serve {

using EntryMap = std::map<uint32_t, EntryFacts>;

struct EntryChange {
    Change change;
    EntryFacts entry;
};
// What happened between two looks, in id order: an id only after is
// created, only before removed; one in both changed when its flags,
// progress, error flags or content type differ.
std::vector<EntryChange> entryChanges(const EntryMap& before, const EntryMap& after);

// "id: N\ndata: {...}\n\n".
std::string eventFrame(uint64_t sequence, const std::string& json);

class EventHub {
public:
    // A subscriber's next frame: an event, nothing within the wait (the
    // caller sends a keep-alive comment), or the end (the server stops, or
    // the subscriber fell more than kQueueLimit events behind).
    enum class Next { Event, Idle, Ended, Overrun };
    static constexpr size_t kQueueLimit = 1024;

    class Subscription {
    public:
        // Waits up to wait for the next frame.
        Next next(std::string& frame, std::chrono::milliseconds wait);
        ~Subscription();

    private:
        friend class EventHub;
        explicit Subscription(EventHub& hub) : iv_hub(hub) {}
        EventHub& iv_hub;
        std::deque<std::string> iv_frames;  // guarded by the hub's mutex
        bool iv_overrun = false;
    };

    explicit EventHub(std::chrono::milliseconds interval);
    ~EventHub();  // stops
    EventHub(const EventHub&) = delete;
    EventHub& operator=(const EventHub&) = delete;

    void start();
    // Ends every subscription and the watcher.
    void stop();
    // A new subscriber; the repository's state now is its starting point.
    std::shared_ptr<Subscription> subscribe();

private:
    void watch();
    // The repository now; false when it cannot be listed.
    static bool look(EntryMap& now);
    void publish(const std::vector<EntryChange>& changes);

    const std::chrono::milliseconds iv_interval;
    std::mutex iv_mutex;
    std::condition_variable iv_changed;  // a frame queued, a subscriber came, or stop
    std::vector<Subscription*> iv_subscribers;
    bool iv_haveBaseline = false;
    EntryMap iv_baseline;
    uint64_t iv_sequence = 0;
    bool iv_stopping = false;
    std::thread iv_thread;
};

}  // namespace platdump::serve
