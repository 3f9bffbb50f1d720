// Each direction of each TCP connection on the BGP and BMP ports,
// reassembled in sequence order (64-bit stream offsets, so wrapping
// sequence numbers and long runs of held segments cost no more than in-order
// ones) and read by the stream decoder its kind asks for. A gap that the
// capture lost is passed over once the other side acknowledges past it, too
// much data waits behind it, the capture's memory budget needs its room or
// the capture ends; the decoder then resumes at its next header. Bytes that
// arrive again for a place already filled keep the first copy; a copy that
// differs is counted and reported, as intrusion-detection reassemblers do.
#pragma once

#include <cstdint>
#include <list>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <unordered_map>
#include <utility>

#include "held_memory.h"
#include "packet.h"
#include "reader_context.h"
#include "stream_decoder.h"

namespace rpdhost {

class TcpStreams {
public:
    TcpStreams(ReaderContext &ctx, HeldMemory &memory) : ctx_(ctx), memory_(memory) {}
    void Segment(const FrameInfo &f, const TcpPacket &s);
    void Finish();
    // The age of what would give way first, and giving it up: the longest
    // waiting gap is passed over, or the least recently active stream closed.
    uint64_t OldestAge() const;
    void EvictOldest();

private:
    struct Flow {
        std::string key;
        FlowKind kind = FlowKind::Bgp;
        std::unique_ptr<StreamDecoder> decoder;  // none for a direction with nothing to read
        Flow *reverse = nullptr;
        bool anchored = false;  // the stream's start (SYN or first segment) is known
        bool synSeen = false;
        bool conflictSaid = false;
        uint32_t base = 0;      // sequence number of stream offset 0
        uint64_t next = 0;      // stream offset expected next
        std::map<uint64_t, Bytes> held;
        size_t heldCost = 0;    // of `held`, bookkeeping included
        size_t charged = 0;     // all of this direction's charge to the budget
        uint64_t active = 0;    // age of its latest segment
        uint64_t waiting = 0;   // age of its oldest waiting gap (0: none)
        Bytes recent;           // the last bytes delivered, a ring, to compare copies that come again
        uint64_t validFrom = 0; // the first stream offset `recent` still holds
        Bytes synData;  // data a SYN carried, held until the next segment says how it is numbered
        uint32_t synSeq = 0;
    };
    using FlowList = std::list<Flow>;

    Flow &Find(const TcpPacket &s);
    void Remove(FlowList::iterator it);
    void Start(Flow &f, const TcpPacket &s);
    void Pair(Flow &f);
    uint64_t Offset(const Flow &f, uint32_t seq) const;
    void Accept(Flow &f, uint64_t at, const uint8_t *data, size_t len);
    void Hold(Flow &f, uint64_t at, const uint8_t *data, size_t len);
    void SynData(Flow &f, const TcpPacket *next);
    void DrainHeld(Flow &f);
    // `budget`: passed over to make room, not lost by the capture.
    void SkipGap(Flow &f, uint64_t to, const char *why, bool budget = false);
    void Deliver(Flow &f, const uint8_t *data, size_t len);
    // Compares bytes for [at, at + len) with the copy the stream already has.
    void Again(Flow &f, uint64_t at, const uint8_t *data, size_t len);
    void Differs(Flow &f, uint64_t at);
    void Rebill(Flow &f);
    void Wait(Flow &f);
    void Close(Flow &f);

    ReaderContext &ctx_;
    HeldMemory &memory_;
    FlowList flows_;  // least recently active first
    std::unordered_map<std::string, FlowList::iterator> index_;
    std::set<std::pair<uint64_t, Flow *>> waiting_;  // directions with held data, by the age of their oldest gap
};

}  // namespace rpdhost
