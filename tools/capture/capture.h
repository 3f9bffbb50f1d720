// From captured frames to BGP and BMP messages: link layer (per frame, so
// pcapng interfaces may differ), IPv4/IPv6 with fragment reassembly, TCP on
// the BGP and BMP ports, and each direction of each connection reassembled
// in order and read by the stream decoder its ports pick. Everything passed
// over is counted by reason.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "held_memory.h"
#include "packet.h"
#include "reader_context.h"

namespace rpdhost {

struct CaptureOptions {
    std::vector<uint16_t> bgpPorts{rpdwire::kBgpPort};  // TCP ports whose streams are BGP
    std::vector<uint16_t> bmpPorts{rpdwire::kBmpPort};  // TCP ports BMP stations listen on
    size_t memory = HeldMemory::kDefaultLimit;           // what reassembly may hold, bookkeeping included
};

class Fragments;
class TcpStreams;

class CaptureDecoder {
public:
    CaptureDecoder(const CaptureOptions &opt, ReaderContext &ctx);
    ~CaptureDecoder();
    void Frame(const FrameInfo &f, const uint8_t *data, size_t caplen);
    // At the end of the capture: flushes every stream and reports what stays incomplete.
    void Finish();

private:
    void Ip(const FrameInfo &f, const uint8_t *ip, size_t len, size_t wire, int version);
    void Transport(const FrameInfo &f, const Datagram &d);
    // What the ports say a segment carries; false (with the segment counted) when neither is ours.
    bool Kind(const TcpPacket &s, FlowKind &kind);
    // Gives up the oldest held data, of either holder, until the budget holds.
    void Enforce();

    const CaptureOptions &opt_;
    ReaderContext &ctx_;
    HeldMemory memory_;
    bool budgetSaid_ = false;
    std::unique_ptr<Fragments> fragments_;
    std::unique_ptr<TcpStreams> streams_;
};

// Reads a pcap or (when `pcapng`) a pcapng capture; closes `in`. False only
// when it cannot be read at all (`fatal` says why).
bool ReadCapture(FILE *in, bool pcapng, const CaptureOptions &opt, ReaderContext &ctx, std::string &fatal);

}  // namespace rpdhost
