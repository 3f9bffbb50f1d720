// MRT (RFC 6396, RFC 8050): BGP4MP and BGP4MP_ET messages (2- and 4-octet
// AS, local, ADD-PATH), their state changes, and RIB dumps (TABLE_DUMP_V2
// with its peer index, ADD-PATH variants included, and TABLE_DUMP). A RIB
// entry becomes an UPDATE rebuilt from its attributes and its prefix, so it
// takes the same walk as a received one.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "reader_context.h"

namespace rpdhost {

class MrtReader {
public:
    explicit MrtReader(ReaderContext &ctx) : ctx_(ctx) {}
    // One record whose header the file loop read; `offset` is the header's.
    void Record(uint32_t sec, uint16_t type, uint16_t subtype, ByteReader body, uint64_t offset);
    void At(uint64_t offset) { offset_ = offset; }
    void Damaged(std::string what);

private:
    struct Peer {
        std::string addr;
        uint32_t as = 0;
    };

    void Bgp4mp(uint16_t subtype, ByteReader body);
    // The RIB dumps (mrt_rib.cpp).
    void TableDumpV2(uint16_t subtype, ByteReader body);
    void PeerIndex(ByteReader body);
    void TableDump(uint16_t subtype, ByteReader body);
    void Emit(Message &m);

    ReaderContext &ctx_;
    std::vector<Peer> peers_;
    uint64_t offset_ = 0;
    uint32_t sec_ = 0;
    uint32_t usec_ = 0;
};

}  // namespace rpdhost
