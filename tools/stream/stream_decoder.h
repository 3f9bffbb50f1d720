// What the bytes of one byte stream mean. A file, one direction of a TCP
// connection in a capture and a live connection are all read through a
// stream decoder: BGP messages back to back (BgpStream) or a BMP monitoring
// stream (BmpStream). The owner feeds bytes as they come, says where bytes
// were lost, and ends the stream.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "message.h"

namespace rpdhost {

// Where the bytes being fed come from (the stream as reports name it, "TCP
// a > b" or "router a"; the frame and time of the latest bytes), stamped on
// what they complete.
using Origin = MessageSource;

class StreamDecoder {
public:
    virtual ~StreamDecoder() = default;
    virtual void Feed(const uint8_t *p, size_t n) = 0;
    // A gap: the message being read is dropped (its bytes so far are returned)...
    virtual size_t Drop() = 0;
    // ...and `n` bytes the stream lost come before the next ones fed, so
    // offsets stay the stream's; reading resumes at the next header.
    virtual void Lost(uint64_t n) = 0;
    // The end of the stream: what is left is reported.
    virtual void Finish() = 0;
    // Bytes of the stream taken so far, lost ones included.
    virtual uint64_t Consumed() const = 0;
    // Memory its buffers hold (for a capture's memory budget).
    virtual size_t Held() const = 0;
    // "BGP" or "BMP", for what is said about the stream.
    virtual const char *Protocol() const = 0;
    // The stream cannot be followed any further (reported); the rest goes unread.
    virtual bool Broken() const { return false; }
    Origin &origin() { return origin_; }

protected:
    Origin origin_;
};

}  // namespace rpdhost
