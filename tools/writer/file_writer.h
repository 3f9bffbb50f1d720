// Writers of the files that hold BGP messages: hex text, a raw stream, MRT
// BGP4MP records and pcap captures of one TCP connection. Shared by
// rpd-host (encode, the live recorder), the tests and the fuzz seeds.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "byte_writer.h"
#include "wire.h"

namespace rpdwire {

// One BGP session direction for the file formats that need addressing.
struct Endpoints {
    std::string peerAddr = "192.0.2.1";   // sender of the messages
    std::string localAddr = "192.0.2.2";  // receiver
    uint32_t peerAs = 65001;
    uint32_t localAs = 65000;
    uint32_t time = 1700000000;  // seconds, MRT and pcap
    uint16_t peerPort = 40000;   // pcap
    uint16_t localPort = kBgpPort;
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
bool AppendMrtBgp4mp(Bytes &out, const Endpoints &ep, uint16_t subtype, const Bytes &payload, uint32_t sec,
                     int32_t usec, std::string *err = nullptr);

// Pieces of the pcap writer, for the recorder and for tests that build unusual captures.
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
// pcapng: a section header (with a comment, when given) and one interface of
// `linkType`, then enhanced packet blocks on it, times in microseconds.
Bytes PcapngHeader(uint32_t linkType, const std::string &comment);
void AppendPcapngPacket(Bytes &out, uint32_t sec, uint32_t usec, const Bytes &frame);

}  // namespace rpdwire
