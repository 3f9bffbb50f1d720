// pcapng blocks (section header, interface description, enhanced, simple
// and obsolete packet blocks), each packet with its own interface's link
// type and time resolution. Other blocks carry no packets and are counted.
#include "pcapng_reader.h"

#include <cstring>
#include <vector>

#include "file_read.h"

namespace rpdhost {

namespace {

using namespace rpdwire;

constexpr uint32_t kSectionHeader = kPcapngMagic, kInterface = 1, kObsoletePacket = 2, kSimplePacket = 3,
                   kEnhancedPacket = 6;
constexpr uint32_t kByteOrderMagic = 0x1A2B3C4D;
constexpr uint32_t kMaxBlock = 64u << 20;

struct Iface {
    uint32_t linkType = 0;
    uint64_t unitsPerSecond = 1000000;
    int64_t offsetSeconds = 0;
};

class Pcapng {
public:
    Pcapng(FILE *in, CaptureDecoder &decoder, ReaderContext &ctx) : in_(in), decoder_(decoder), ctx_(ctx) {}

    void Run() {
        for (;;) {
            uint8_t head[8];
            const size_t got = std::fread(head, 1, sizeof(head), in_);
            if (got == 0) return;
            if (got < sizeof(head)) return Damaged("pcapng block header cut short");
            uint32_t type = Get32(head), total = Get32(head + 4);
            if (type == kSectionHeader) {
                // The byte order is the section's own: read it from the byte-order magic.
                uint8_t bom[4];
                if (std::fread(bom, 1, 4, in_) != 4) return Damaged("pcapng section header cut short");
                if (Be32(bom) == kByteOrderMagic) bigEndian_ = true;
                else if (Be32(bom) == __builtin_bswap32(kByteOrderMagic)) bigEndian_ = false;
                else return Damaged("pcapng section header with an unknown byte-order magic");
                total = Get32(head + 4);
                interfaces_.clear();
                if (!Body(total, 12)) return;
                continue;
            }
            if (!Body(total, 8)) return;
            ByteReader r(body_.data(), body_.size());
            switch (type) {
                case kInterface: Interface(r); break;
                case kEnhancedPacket: Packet(r, true); break;
                case kObsoletePacket: Packet(r, false); break;
                case kSimplePacket: Simple(r); break;
                default: ctx_.Skip("pcapng blocks that carry no packets (statistics, names, ...)", false);
            }
        }
    }

private:
    uint32_t Get32(const uint8_t *p) const {
        const uint32_t be = Be32(p);
        return bigEndian_ ? be : __builtin_bswap32(be);
    }
    uint16_t Get16(const uint8_t *p) const { return bigEndian_ ? Be16(p) : static_cast<uint16_t>(p[0] | p[1] << 8); }
    bool U32(ByteReader &r, uint32_t &v) const {
        const uint8_t *p = nullptr;
        if (!r.Take(4, p)) return false;
        v = Get32(p);
        return true;
    }

    // Reads the rest of a block of `total` bytes, of which `read` are read;
    // the body keeps everything before the trailing length.
    bool Body(uint32_t total, uint32_t read) {
        if (total < read + 4 || total % 4 != 0 || total > kMaxBlock) {
            Damaged("pcapng block length " + std::to_string(total) + " is impossible; the rest is unread");
            return false;
        }
        if (!ReadExactly(in_, body_, total - read)) {
            Damaged("pcapng block cut short");
            return false;
        }
        offset_ += total;
        ctx_.Progress(offset_);
        body_.resize(body_.size() - 4);
        return true;
    }

    void Interface(ByteReader r) {
        const uint8_t *p = nullptr;
        if (!r.Take(8, p)) return Damaged("pcapng interface description cut short");
        Iface i;
        i.linkType = Get16(p);
        // Options: the time resolution and offset change how packets' times read.
        while (r.Left() >= 4) {
            const uint8_t *opt = nullptr;
            if (!r.Take(4, opt)) break;
            const uint16_t code = Get16(opt), len = Get16(opt + 2);
            const uint8_t *v = nullptr;
            if (code == 0 || !r.Take(len, v) || !r.Skip((4 - len % 4) % 4)) break;
            if (code == 9 && len >= 1) {
                const uint8_t res = v[0];
                const unsigned exp = res & 0x7F;
                uint64_t units = 1;
                if ((res & 0x80) ? exp > 63 : exp > 19) continue;  // beyond what 64 bits hold
                for (unsigned k = 0; k < exp; ++k) units *= (res & 0x80) ? 2 : 10;
                i.unitsPerSecond = units;
            } else if (code == 14 && len == 8) {
                i.offsetSeconds = static_cast<int64_t>(static_cast<uint64_t>(Get32(v)) << 32 | Get32(v + 4));
                if (!bigEndian_) i.offsetSeconds = static_cast<int64_t>(static_cast<uint64_t>(Get32(v + 4)) << 32 | Get32(v));
            }
        }
        interfaces_.push_back(i);
    }

    void Packet(ByteReader r, bool enhanced) {
        uint32_t ifIndex = 0, hi = 0, lo = 0, caplen = 0, wire = 0;
        const uint8_t *p = nullptr;
        if (enhanced) {
            if (!U32(r, ifIndex)) return Damaged("pcapng packet block cut short");
        } else {
            if (!r.Take(4, p)) return Damaged("pcapng packet block cut short");
            ifIndex = Get16(p);
        }
        if (!U32(r, hi) || !U32(r, lo) || !U32(r, caplen) || !U32(r, wire) || !r.Take(caplen, p))
            return Damaged("pcapng packet block shorter than its packet");
        if (ifIndex >= interfaces_.size()) return Damaged("pcapng packet of an undescribed interface");
        const Iface &i = interfaces_[ifIndex];
        const uint64_t ts = static_cast<uint64_t>(hi) << 32 | lo;
        FrameInfo f;
        f.linkType = i.linkType;
        f.number = ++ctx_.counts().packets;
        f.sec = static_cast<int64_t>(ts / i.unitsPerSecond) + i.offsetSeconds;
        f.usec = static_cast<uint32_t>(static_cast<unsigned __int128>(ts % i.unitsPerSecond) * 1000000 / i.unitsPerSecond);
        f.wireLen = wire;
        decoder_.Frame(f, p, caplen);
    }

    void Simple(ByteReader r) {
        uint32_t wire = 0;
        if (!U32(r, wire)) return Damaged("pcapng simple packet block cut short");
        if (interfaces_.empty()) return Damaged("pcapng packet of an undescribed interface");
        const size_t caplen = std::min<size_t>(wire, r.Left());
        FrameInfo f;
        f.linkType = interfaces_[0].linkType;
        f.number = ++ctx_.counts().packets;
        f.wireLen = wire;
        decoder_.Frame(f, r.Here(), caplen);
    }

    void Damaged(const std::string &what) { ctx_.Damage("capture", Place(offset_), "pcapng blocks damaged or cut short", what); }

    FILE *in_;
    CaptureDecoder &decoder_;
    ReaderContext &ctx_;
    bool bigEndian_ = false;
    std::vector<Iface> interfaces_;
    std::vector<uint8_t> body_;
    uint64_t offset_ = 0;
};

}  // namespace

void ReadPcapng(FILE *in, CaptureDecoder &decoder, ReaderContext &ctx) { Pcapng(in, decoder, ctx).Run(); }

}  // namespace rpdhost
