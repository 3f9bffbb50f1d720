// From captured frames to BGP messages: link layer (per frame, so pcapng
// interfaces may differ), IPv4/IPv6 with fragment reassembly, TCP on the
// BGP ports, and each direction of each connection reassembled in order and
// cut into messages. Everything passed over is counted by reason.
#pragma once

#include <cstdint>
#include <list>
#include <map>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "input.h"

namespace rpdhost {

// Link types as capture files name them (LINKTYPE_*).
enum LinkType : uint32_t {
    kLinkNull = 0,
    kLinkEthernet = 1,
    kLinkRaw = 101,
    kLinkLoop = 108,
    kLinkLinuxSll = 113,
    kLinkIpv4 = 228,
    kLinkIpv6 = 229,
    kLinkLinuxSll2 = 276,
};

struct FrameInfo {
    uint32_t linkType = kLinkEthernet;
    uint64_t number = 0;  // 1-based frame number in the capture
    int64_t sec = 0;
    uint32_t usec = 0;
    size_t wireLen = 0;  // length on the wire (more than the captured bytes when the capture cut it)
};

// An IP datagram down to its transport payload (after reassembly when it came in fragments).
struct Datagram {
    bool v6 = false;
    uint8_t src[16] = {};
    uint8_t dst[16] = {};
    uint8_t proto = 0;
    const uint8_t *payload = nullptr;
    size_t len = 0;
    bool cut = false;  // the capture kept less than the datagram carried
};

class Fragments;
class TcpStreams;

class CaptureDecoder {
public:
    CaptureDecoder(const InputOptions &opt, InputSink &sink, InputCounts &counts);
    ~CaptureDecoder();
    void Frame(const FrameInfo &f, const uint8_t *data, size_t caplen);
    // At the end of the capture: flushes every stream and reports what stays incomplete.
    void Finish();

private:
    void Ip(const FrameInfo &f, const uint8_t *ip, size_t len, size_t wire, int version);
    void Transport(const FrameInfo &f, const Datagram &d);

    const InputOptions &opt_;
    InputCounts &counts_;
    std::unique_ptr<Fragments> fragments_;
    std::unique_ptr<TcpStreams> streams_;
};

}  // namespace rpdhost
