// Writers of BGP UPDATE messages carrying RPD routes, and of the files that
// hold them (hex text, raw stream, MRT, pcap). Shared by tests and rpd-host.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "hex.h"
#include "wc_writer.h"

namespace rpdwire {

constexpr uint8_t kAttrMpReach = 14;
constexpr uint8_t kAttrMpUnreach = 15;
constexpr uint8_t kAttrWideCommunity = 129;
constexpr uint16_t kAfiIpv4 = 1;
constexpr uint8_t kSafiRpd = 75;

struct RpdNlri {
    uint32_t distinguisher = 0;
    uint32_t peer = 0;  // host order
    uint8_t policyType = 1;
};

struct Update {
    std::vector<RpdNlri> announce;
    std::vector<RpdNlri> withdraw;
    bool hasPolicy = false;
    Bytes wideCommunity;  // attribute value (built by Encode, or raw bytes)
    uint32_t nextHop = 0;
    uint32_t originAs = 0;  // AS_PATH of one AS when non-zero
    uint8_t wcAttrCode = kAttrWideCommunity;
};

// A whole BGP message: marker, length and type before `body`.
Bytes BgpMessage(uint8_t type, const Bytes &body);
void AppendNlri(Bytes &out, const RpdNlri &n);
void AppendPathAttr(Bytes &out, uint8_t flags, uint8_t code, const Bytes &value);
Bytes BuildUpdate(const Update &u);

// One BGP session direction for the file formats that need addressing.
struct Endpoints {
    std::string peerAddr = "192.0.2.1";   // sender of the messages
    std::string localAddr = "192.0.2.2";  // receiver
    uint32_t peerAs = 65001;
    uint32_t localAs = 65000;
    uint32_t time = 1700000000;  // seconds, MRT and pcap
    uint16_t peerPort = 40000;   // pcap
    uint16_t localPort = 179;
};

enum class FileFormat { Hex, Raw, Mrt, Pcap };
bool ParseFileFormat(const std::string &name, FileFormat &out);

// Writes whole messages to `out` in the given format. Pcap output is one TCP
// connection (handshake included) with the messages cut into segments of at
// most `mss` bytes.
bool WriteMessages(FILE *out, FileFormat fmt, const std::vector<Bytes> &messages, const Endpoints &ep,
                   uint32_t mss = 1400, std::string *err = nullptr);

// One MRT BGP4MP record for `ep` (peer to local): BGP4MP_ET with its
// microseconds when `usec` >= 0, else BGP4MP. `payload` follows the common
// part: a whole BGP message, or the two states of a state change.
constexpr uint16_t kBgp4mpStateChangeAs4 = 5;
constexpr uint16_t kBgp4mpMessageAs4 = 4;
bool AppendMrtBgp4mp(Bytes &out, const Endpoints &ep, uint16_t subtype, const Bytes &payload, uint32_t sec,
                     int32_t usec, std::string *err = nullptr);

// Pieces of the pcap writer, for tests that build unusual captures.
struct TcpSegment {
    uint32_t seq;
    uint32_t ack;  // written when flags carry ACK
    uint8_t flags;
    Bytes payload;
    bool fromPeer = true;
};
std::vector<TcpSegment> SegmentStream(const std::vector<Bytes> &messages, uint32_t mss);
bool WritePcap(FILE *out, const std::vector<TcpSegment> &segments, const Endpoints &ep, std::string *err);
// The Ethernet frames of those segments, and a classic pcap of any frames.
bool PcapFrames(const std::vector<TcpSegment> &segments, const Endpoints &ep, std::vector<Bytes> &frames,
                std::string *err);
Bytes PcapFileHeader(uint32_t linkType);
void AppendPcapRecord(Bytes &out, uint32_t sec, uint32_t usec, const Bytes &frame);
bool WritePcapFrames(FILE *out, uint32_t linkType, const std::vector<Bytes> &frames, uint32_t time, std::string *err);

}  // namespace rpdwire
