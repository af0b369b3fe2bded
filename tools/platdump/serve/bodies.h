// The two response bodies that are read while they are sent: an
// attachment's bytes, fetched through the library one bounded request at a
// time (at most kAttachmentRequest bytes held per connection), and the
// event stream. A failure in the middle of an attachment, or a change of
// the dump's summary since the response began, ends the connection without
// the rest: the client sees a cut transfer, never a short body that looks
// whole.
#pragma once

#include <microhttpd.h>

#include <cstdint>
#include <memory>
#include <string>

#include "events.h"

namespace platdump::serve {

constexpr size_t kAttachmentRequest = 1u << 20;

struct AttachmentPiece {
    uint32_t id = 0;
    std::string kind;      // "SYS", ...: where its summary file is
    bool mainStore = false;
    uint64_t first = 0;    // stream offset of the body's first byte
    uint64_t length = 0;   // bytes of the body
    uint64_t summaryDigest = 0;  // as the entity tag was made from
};

MHD_Response* attachmentResponse(const AttachmentPiece& piece);
// Sends a comment line first (so a client sees it is subscribed), then
// each event, and a comment after keepAliveSeconds without one.
MHD_Response* eventStreamResponse(std::shared_ptr<EventHub::Subscription> subscription, unsigned keepAliveSeconds);

}  // namespace platdump::serve
