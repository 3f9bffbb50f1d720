// Pieces of the capture decoder: IP fragment reassembly and TCP streams.
#pragma once

#include <cstdint>
#include <list>
#include <map>
#include <string>
#include <unordered_map>
#include <vector>

#include "capture.h"
#include "input_internal.h"

namespace rpdhost {

// Holds IPv4 and IPv6 fragments until their datagram is whole. Bounded:
// the oldest unfinished datagram gives way when too many are pending.
class Fragments {
public:
    explicit Fragments(InputCounts &counts) : counts_(counts) {}
    // One fragment of `head`'s datagram, whose bytes start `offset` bytes
    // into its payload. True when it completes the datagram: `whole` then
    // describes it, its payload in `buffer`.
    bool Add(const Datagram &head, uint32_t id, size_t offset, bool more, Datagram &whole, std::vector<uint8_t> &buffer);
    void Finish();

private:
    struct Pending {
        Datagram head;
        std::map<size_t, std::vector<uint8_t>> parts;  // by offset
        size_t total = SIZE_MAX;                       // known once the last fragment came
        size_t count = 0;
        size_t bytes = 0;
        uint64_t age = 0;
    };
    void Forget(std::map<std::string, Pending>::iterator it, const char *why);

    InputCounts &counts_;
    std::map<std::string, Pending> pending_;
    std::map<uint64_t, std::string> byAge_;
    uint64_t clock_ = 0;
    size_t bytes_ = 0;  // held in all pending datagrams
};

struct TcpSegment {
    const Datagram *ip = nullptr;
    uint16_t sport = 0, dport = 0;
    uint32_t seq = 0, ack = 0;
    uint8_t flags = 0;
    const uint8_t *data = nullptr;
    size_t len = 0;
};

// Each direction of each TCP connection on the BGP ports, reassembled in
// sequence order (64-bit stream offsets, so wrapping sequence numbers and
// long runs of held segments cost no more than in-order ones) and cut into
// BGP messages. A gap that the capture lost is passed over once the other
// side acknowledges past it, too much data waits behind it, or the capture
// ends; the stream then resumes at the next BGP header.
class TcpStreams {
public:
    TcpStreams(InputSink &sink, InputCounts &counts) : sink_(sink), counts_(counts) {}
    void Segment(const FrameInfo &f, const TcpSegment &s);
    void Finish();

private:
    struct Flow {
        std::string key;
        Message proto;         // source fields stamped on each message
        Flow *reverse = nullptr;
        bool anchored = false;  // the stream's start (SYN or first segment) is known
        bool synSeen = false;
        uint32_t base = 0;      // sequence number of stream offset 0
        uint64_t next = 0;      // stream offset expected next
        std::map<uint64_t, std::vector<uint8_t>> held;
        size_t heldBytes = 0;
        Framer framer{false};
    };
    using FlowList = std::list<Flow>;

    Flow &Find(const TcpSegment &s);
    void Describe(const TcpSegment &s, Flow &f);
    uint64_t Offset(const Flow &f, uint32_t seq) const;
    void Accept(Flow &f, uint64_t at, const uint8_t *data, size_t len);
    void DrainHeld(Flow &f);
    void SkipGap(Flow &f, uint64_t to, const char *why);
    void Deliver(Flow &f, const uint8_t *data, size_t len);
    void Close(Flow &f);
    void Problem(const Flow &f, const std::string &what);

    InputSink &sink_;
    InputCounts &counts_;
    FlowList flows_;  // least recently active first
    std::unordered_map<std::string, FlowList::iterator> index_;
    bool fullReported_ = false;
    size_t heldTotal_ = 0;
};

}  // namespace rpdhost
