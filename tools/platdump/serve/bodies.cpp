#include "bodies.h"

#include <algorithm>
#include <cstring>

#include "dumpId.h"
#include "errorReport.h"
#include "httpServer.h"
#include "offloadCommand.h"
#include "platform/errlEntry.h"
#include "repository.h"

namespace platdump::serve {

namespace {

struct AttachmentReader {
    AttachmentPiece piece;
    dumpDMAEhandle handle{};  // kept from request to request, as the driver asks
};

ssize_t cutOff(const AttachmentReader& r, uint64_t offset, const std::string& why) {
    serveLog("dump " + idText(r.piece.id) + ": " + why + " at stream offset " + std::to_string(offset) +
             "; the transfer is cut off");
    return MHD_CONTENT_READER_END_WITH_ERROR;
}

ssize_t readAttachment(void* cls, uint64_t position, char* buffer, size_t max) {
    AttachmentReader& r = *static_cast<AttachmentReader*>(cls);
    if (position >= r.piece.length) return MHD_CONTENT_READER_END_OF_STREAM;
    const uint64_t offset = r.piece.first + position;
    const size_t wanted = static_cast<size_t>(std::min<uint64_t>({max, kAttachmentRequest, r.piece.length - position}));
    unsigned int length = static_cast<unsigned int>(wanted);
    ErrlEntry* e = repository::extract(r.piece.id, offset, length, buffer, r.piece.mainStore, &r.handle);
    if (e) {
        const std::string why = failureText(*e, offset) + " (" + briefError(*e) + ")";
        delete e;
        return cutOff(r, offset, why);
    }
    if (length != wanted) return cutOff(r, offset, "the library delivered " + std::to_string(length) + " of " +
                                                       std::to_string(wanted) + " bytes");
    // Checked after the read: a change made before it or during it is
    // seen here, one made after it at the next piece.
    std::optional<uint64_t> digest = repository::summaryDigest(r.piece.id, r.piece.kind);
    if (!digest || *digest != r.piece.summaryDigest)
        return cutOff(r, offset, digest ? "the dump changed during the transfer" : "the dump's summary is gone");
    return static_cast<ssize_t>(length);
}

void freeAttachment(void* cls) { delete static_cast<AttachmentReader*>(cls); }

struct EventReader {
    std::shared_ptr<EventHub::Subscription> subscription;
    std::chrono::milliseconds keepAlive;
    std::string pending = ": platdump dump events\n\n";
    size_t sent = 0;
};

ssize_t readEvents(void* cls, uint64_t, char* buffer, size_t max) {
    EventReader& r = *static_cast<EventReader*>(cls);
    while (r.sent == r.pending.size()) {
        r.sent = 0;
        switch (r.subscription->next(r.pending, r.keepAlive)) {
            case EventHub::Next::Event: break;
            case EventHub::Next::Idle: r.pending = ":\n\n"; break;
            case EventHub::Next::Ended: return MHD_CONTENT_READER_END_OF_STREAM;
            case EventHub::Next::Overrun:
                serveLog("an event stream's client fell " + std::to_string(EventHub::kQueueLimit) +
                         " events behind; its stream is ended");
                return MHD_CONTENT_READER_END_WITH_ERROR;
        }
    }
    const size_t n = std::min(max, r.pending.size() - r.sent);
    std::memcpy(buffer, r.pending.data() + r.sent, n);
    r.sent += n;
    return static_cast<ssize_t>(n);
}

void freeEvents(void* cls) { delete static_cast<EventReader*>(cls); }

}  // namespace

MHD_Response* attachmentResponse(const AttachmentPiece& piece) {
    auto* reader = new AttachmentReader{piece};
    MHD_Response* response =
        MHD_create_response_from_callback(piece.length, kAttachmentRequest, readAttachment, reader, freeAttachment);
    if (!response) delete reader;
    return response;
}

MHD_Response* eventStreamResponse(std::shared_ptr<EventHub::Subscription> subscription, unsigned keepAliveSeconds) {
    auto* reader = new EventReader{std::move(subscription), std::chrono::seconds(keepAliveSeconds)};
    MHD_Response* response = MHD_create_response_from_callback(MHD_SIZE_UNKNOWN, 4096, readEvents, reader, freeEvents);
    if (!response) delete reader;
    return response;
}

}  // namespace platdump::serve
