#include "file_writer.h"

#include <arpa/inet.h>

#include <algorithm>

#include "hex.h"

namespace rpdwire {

namespace {

void PutLe16(Bytes &b, uint16_t v) {
    b.push_back(static_cast<uint8_t>(v));
    b.push_back(static_cast<uint8_t>(v >> 8));
}
void PutLe32(Bytes &b, uint32_t v) {
    for (int s = 0; s <= 24; s += 8) b.push_back(static_cast<uint8_t>(v >> s));
}

bool WriteAll(FILE *out, const Bytes &b, std::string *err) {
    if (!b.empty() && std::fwrite(b.data(), 1, b.size(), out) != b.size()) {
        if (err) *err = "write failed";
        return false;
    }
    return true;
}

// Addresses of the endpoints, as 4 or 16 bytes.
bool Addr(const std::string &text, Bytes &out, bool &v6) {
    uint8_t buf[16];
    if (inet_pton(AF_INET, text.c_str(), buf) == 1) {
        out.assign(buf, buf + 4);
        v6 = false;
        return true;
    }
    if (inet_pton(AF_INET6, text.c_str(), buf) == 1) {
        out.assign(buf, buf + 16);
        v6 = true;
        return true;
    }
    return false;
}

// Both endpoints' addresses, of one family.
bool Addrs(const Endpoints &ep, Bytes &peer, Bytes &local, bool &v6, std::string *err) {
    bool v6b = false;
    if (!Addr(ep.peerAddr, peer, v6) || !Addr(ep.localAddr, local, v6b) || v6 != v6b) {
        if (err) *err = "bad endpoint addresses";
        return false;
    }
    return true;
}

uint16_t Checksum(const Bytes &data, uint32_t sum = 0) {
    for (size_t i = 0; i + 1 < data.size(); i += 2) sum += static_cast<uint32_t>(data[i] << 8 | data[i + 1]);
    if (data.size() % 2) sum += static_cast<uint32_t>(data.back() << 8);
    while (sum >> 16) sum = (sum & 0xFFFF) + (sum >> 16);
    return static_cast<uint16_t>(~sum);
}

}  // namespace

bool ParseFileFormat(const std::string &name, FileFormat &out) {
    if (name == "hex") out = FileFormat::Hex;
    else if (name == "raw") out = FileFormat::Raw;
    else if (name == "mrt") out = FileFormat::Mrt;
    else if (name == "pcap") out = FileFormat::Pcap;
    else return false;
    return true;
}

std::vector<TcpSegment> SegmentStream(const std::vector<Bytes> &messages, uint32_t mss) {
    Bytes stream;
    for (const Bytes &m : messages) stream.insert(stream.end(), m.begin(), m.end());
    const uint32_t isnPeer = 1000, isnLocal = 5000;
    std::vector<TcpSegment> segs;
    segs.push_back({isnPeer, 0, kTcpSyn, {}, true});
    segs.push_back({isnLocal, isnPeer + 1, kTcpSyn | kTcpAck, {}, false});
    segs.push_back({isnPeer + 1, isnLocal + 1, kTcpAck, {}, true});
    uint32_t seq = isnPeer + 1;
    for (size_t off = 0; off < stream.size(); off += mss) {
        const size_t n = std::min<size_t>(mss, stream.size() - off);
        segs.push_back({seq, isnLocal + 1, kTcpPsh | kTcpAck, Bytes(stream.begin() + off, stream.begin() + off + n), true});
        seq += static_cast<uint32_t>(n);
    }
    return segs;
}

bool PcapFrames(const std::vector<TcpSegment> &segments, const Endpoints &ep, std::vector<Bytes> &frames,
                std::string *err) {
    Bytes peer, local;
    bool v6a = false;
    if (!Addrs(ep, peer, local, v6a, err)) return false;
    for (const TcpSegment &s : segments) {
        const Bytes &src = s.fromPeer ? peer : local;
        const Bytes &dst = s.fromPeer ? local : peer;
        Bytes tcp;
        Put16(tcp, s.fromPeer ? ep.peerPort : ep.localPort);
        Put16(tcp, s.fromPeer ? ep.localPort : ep.peerPort);
        Put32(tcp, s.seq);
        Put32(tcp, (s.flags & kTcpAck) ? s.ack : 0);
        tcp.push_back(0x50);
        tcp.push_back(s.flags);
        Put16(tcp, 65535);
        Put16(tcp, 0);  // checksum, below
        Put16(tcp, 0);
        tcp.insert(tcp.end(), s.payload.begin(), s.payload.end());
        Bytes pseudo(src);
        pseudo.insert(pseudo.end(), dst.begin(), dst.end());
        if (v6a) {
            Put32(pseudo, static_cast<uint32_t>(tcp.size()));
            Put32(pseudo, kIpProtoTcp);
        } else {
            pseudo.push_back(0);
            pseudo.push_back(kIpProtoTcp);
            Put16(pseudo, static_cast<uint16_t>(tcp.size()));
        }
        pseudo.insert(pseudo.end(), tcp.begin(), tcp.end());
        const uint16_t sum = Checksum(pseudo);
        tcp[16] = static_cast<uint8_t>(sum >> 8);
        tcp[17] = static_cast<uint8_t>(sum);

        Bytes ip;
        if (v6a) {
            Put32(ip, 0x60000000);
            Put16(ip, static_cast<uint16_t>(tcp.size()));
            ip.push_back(kIpProtoTcp);
            ip.push_back(64);
            ip.insert(ip.end(), src.begin(), src.end());
            ip.insert(ip.end(), dst.begin(), dst.end());
        } else {
            ip.push_back(0x45);
            ip.push_back(0);
            Put16(ip, static_cast<uint16_t>(20 + tcp.size()));
            Put16(ip, 0);
            Put16(ip, 0x4000);
            ip.push_back(64);
            ip.push_back(kIpProtoTcp);
            Put16(ip, 0);
            ip.insert(ip.end(), src.begin(), src.end());
            ip.insert(ip.end(), dst.begin(), dst.end());
            const uint16_t isum = Checksum(ip);
            ip[10] = static_cast<uint8_t>(isum >> 8);
            ip[11] = static_cast<uint8_t>(isum);
        }
        ip.insert(ip.end(), tcp.begin(), tcp.end());
        Bytes frame = {0x02, 0, 0, 0, 0, s.fromPeer ? uint8_t{2} : uint8_t{1},
                       0x02, 0, 0, 0, 0, s.fromPeer ? uint8_t{1} : uint8_t{2}};
        Put16(frame, v6a ? kEtherIpv6 : kEtherIpv4);
        frame.insert(frame.end(), ip.begin(), ip.end());
        frames.push_back(std::move(frame));
    }
    return true;
}

Bytes PcapFileHeader(uint32_t linkType) {
    Bytes file;
    PutLe32(file, kPcapMagic);
    PutLe16(file, 2);
    PutLe16(file, 4);
    PutLe32(file, 0);
    PutLe32(file, 0);
    PutLe32(file, 65535);
    PutLe32(file, linkType);
    return file;
}

namespace {

// A pcapng block: its type, its total length before and after the body, the body padded to 32 bits.
void AppendBlock(Bytes &out, uint32_t type, const Bytes &body) {
    const size_t padded = (body.size() + 3) / 4 * 4;
    const uint32_t total = static_cast<uint32_t>(12 + padded);
    PutLe32(out, type);
    PutLe32(out, total);
    Append(out, body);
    out.resize(out.size() + padded - body.size(), 0);
    PutLe32(out, total);
}

}  // namespace

Bytes PcapngHeader(uint32_t linkType, const std::string &comment) {
    constexpr uint16_t kOptComment = 1, kOptEnd = 0;
    Bytes shb;
    PutLe32(shb, 0x1A2B3C4D);  // byte-order magic
    PutLe16(shb, 1);           // version 1.0
    PutLe16(shb, 0);
    for (int i = 0; i < 8; ++i) shb.push_back(0xFF);  // section length: not given
    if (!comment.empty()) {
        PutLe16(shb, kOptComment);
        PutLe16(shb, static_cast<uint16_t>(comment.size()));
        Append(shb, reinterpret_cast<const uint8_t *>(comment.data()), comment.size());
        shb.resize((shb.size() + 3) / 4 * 4, 0);
        PutLe16(shb, kOptEnd);
        PutLe16(shb, 0);
    }
    Bytes idb;
    PutLe16(idb, static_cast<uint16_t>(linkType));
    PutLe16(idb, 0);
    PutLe32(idb, 65535);  // snapshot length
    Bytes out;
    AppendBlock(out, kPcapngMagic, shb);
    AppendBlock(out, 1, idb);  // interface description
    return out;
}

void AppendPcapngPacket(Bytes &out, uint32_t sec, uint32_t usec, const Bytes &frame) {
    const uint64_t ts = uint64_t{sec} * 1000000 + usec;
    Bytes epb;
    PutLe32(epb, 0);  // interface 0
    PutLe32(epb, static_cast<uint32_t>(ts >> 32));
    PutLe32(epb, static_cast<uint32_t>(ts));
    PutLe32(epb, static_cast<uint32_t>(frame.size()));
    PutLe32(epb, static_cast<uint32_t>(frame.size()));
    Append(epb, frame);
    AppendBlock(out, 6, epb);  // enhanced packet
}

void AppendPcapRecord(Bytes &out, uint32_t sec, uint32_t usec, const Bytes &frame) {
    PutLe32(out, sec);
    PutLe32(out, usec);
    PutLe32(out, static_cast<uint32_t>(frame.size()));
    PutLe32(out, static_cast<uint32_t>(frame.size()));
    out.insert(out.end(), frame.begin(), frame.end());
}

bool WritePcapFrames(FILE *out, uint32_t linkType, const std::vector<Bytes> &frames, uint32_t time, std::string *err) {
    if (!WriteAll(out, PcapFileHeader(linkType), err)) return false;
    uint32_t usec = 0;
    for (const Bytes &frame : frames) {
        Bytes rec;
        AppendPcapRecord(rec, time + usec / 1000000, usec % 1000000, frame);
        usec += 1000;
        if (!WriteAll(out, rec, err)) return false;
    }
    return true;
}

bool WritePcap(FILE *out, const std::vector<TcpSegment> &segments, const Endpoints &ep, std::string *err) {
    std::vector<Bytes> frames;
    return PcapFrames(segments, ep, frames, err) && WritePcapFrames(out, kLinkEthernet, frames, ep.time, err);
}

bool AppendMrtBgp4mp(Bytes &out, const Endpoints &ep, uint16_t subtype, const Bytes &payload, uint32_t sec,
                     int32_t usec, std::string *err) {
    Bytes peer, local;
    bool v6a = false;
    if (!Addrs(ep, peer, local, v6a, err)) return false;
    const bool et = usec >= 0;
    const size_t bodyLen = (et ? 4 : 0) + 12 + peer.size() + local.size() + payload.size();
    Put32(out, sec);
    Put16(out, et ? kMrtBgp4mpEt : kMrtBgp4mp);
    Put16(out, subtype);
    Put32(out, static_cast<uint32_t>(bodyLen));
    if (et) Put32(out, static_cast<uint32_t>(usec));
    Put32(out, ep.peerAs);
    Put32(out, ep.localAs);
    Put16(out, 0);  // interface index
    Put16(out, v6a ? kAfiIpv6 : kAfiIpv4);
    out.insert(out.end(), peer.begin(), peer.end());
    out.insert(out.end(), local.begin(), local.end());
    out.insert(out.end(), payload.begin(), payload.end());
    return true;
}

bool WriteMessages(FILE *out, FileFormat fmt, const std::vector<Bytes> &messages, const Endpoints &ep, uint32_t mss,
                   std::string *err) {
    switch (fmt) {
        case FileFormat::Hex:
            for (const Bytes &m : messages) {
                const std::string h = ToHex(m) + "\n\n";
                if (std::fputs(h.c_str(), out) < 0) {
                    if (err) *err = "write failed";
                    return false;
                }
            }
            return true;
        case FileFormat::Raw:
            for (const Bytes &m : messages)
                if (!WriteAll(out, m, err)) return false;
            return true;
        case FileFormat::Mrt:
            for (const Bytes &m : messages) {
                Bytes rec;
                if (!AppendMrtBgp4mp(rec, ep, kBgp4mpMessageAs4, m, ep.time, -1, err) || !WriteAll(out, rec, err))
                    return false;
            }
            return true;
        case FileFormat::Pcap:
            return WritePcap(out, SegmentStream(messages, mss), ep, err);
    }
    return false;
}

}  // namespace rpdwire
