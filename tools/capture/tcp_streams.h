// Each direction of each TCP connection on the BGP and BMP ports,
// reassembled in sequence order (64-bit stream offsets, so wrapping
// sequence numbers and long runs of held segments cost no more than in-order
// ones) and read by the stream decoder its kind asks for. A gap that the
// capture lost is passed over once the other side acknowledges past it, too
// much data waits behind it, or the capture ends; the decoder then resumes
// at its next header.
#pragma once

#include <cstdint>
#include <list>
#include <map>
#include <memory>
#include <string>
#include <unordered_map>

#include "packet.h"
#include "reader_context.h"
#include "stream_decoder.h"

namespace rpdhost {

class TcpStreams {
public:
    explicit TcpStreams(ReaderContext &ctx) : ctx_(ctx) {}
    void Segment(const FrameInfo &f, const TcpPacket &s);
    void Finish();

private:
    struct Flow {
        std::string key;
        FlowKind kind = FlowKind::Bgp;
        std::unique_ptr<StreamDecoder> decoder;  // none for a direction with nothing to read
        Flow *reverse = nullptr;
        bool anchored = false;  // the stream's start (SYN or first segment) is known
        bool synSeen = false;
        uint32_t base = 0;      // sequence number of stream offset 0
        uint64_t next = 0;      // stream offset expected next
        std::map<uint64_t, Bytes> held;
        size_t heldBytes = 0;
        Bytes synData;  // data a SYN carried, held until the next segment says how it is numbered
        uint32_t synSeq = 0;
    };
    using FlowList = std::list<Flow>;

    Flow &Find(const TcpPacket &s);
    void Start(Flow &f, const TcpPacket &s);
    uint64_t Offset(const Flow &f, uint32_t seq) const;
    void Accept(Flow &f, uint64_t at, const uint8_t *data, size_t len);
    void SynData(Flow &f, const TcpPacket *next);
    void DrainHeld(Flow &f);
    void SkipGap(Flow &f, uint64_t to, const char *why);
    void Deliver(Flow &f, const uint8_t *data, size_t len);
    void Close(Flow &f);

    ReaderContext &ctx_;
    FlowList flows_;  // least recently active first
    std::unordered_map<std::string, FlowList::iterator> index_;
    bool fullReported_ = false;
    size_t heldTotal_ = 0;
};

}  // namespace rpdhost
