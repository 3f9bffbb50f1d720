// MRT records built field by field, for the reader and host tests.
#pragma once

#include <arpa/inet.h>

#include <string>

#include "bgp_writer.h"

namespace mrttest {

using rpdwire::Bytes;

struct Builder {
    Bytes b;
    Builder &U8(uint32_t v) {
        b.push_back(static_cast<uint8_t>(v));
        return *this;
    }
    Builder &U16(uint32_t v) { return U8(v >> 8).U8(v); }
    Builder &U32(uint32_t v) { return U16(v >> 16).U16(v); }
    Builder &Raw(const Bytes &v) {
        b.insert(b.end(), v.begin(), v.end());
        return *this;
    }
    Builder &Ip(const std::string &text) {
        uint8_t a[16];
        const bool v6 = text.find(':') != std::string::npos;
        inet_pton(v6 ? AF_INET6 : AF_INET, text.c_str(), a);
        b.insert(b.end(), a, a + (v6 ? 16 : 4));
        return *this;
    }
};

inline Bytes Record(uint32_t time, uint16_t type, uint16_t subtype, const Bytes &body) {
    Builder r;
    r.U32(time).U16(type).U16(subtype).U32(static_cast<uint32_t>(body.size())).Raw(body);
    return r.b;
}

inline Bytes Attr(uint8_t flags, uint8_t code, const Bytes &value) {
    Bytes out;
    rpdwire::AppendPathAttr(out, flags, code, value);
    return out;
}

inline Bytes Nlri(const rpdwire::RpdNlri &n) {
    Bytes out;
    rpdwire::AppendNlri(out, n);
    return out;
}

// One RIB entry of TABLE_DUMP_V2 (with a path identifier for the ADD-PATH subtypes).
inline Bytes RibEntry(uint16_t peer, uint32_t originated, const Bytes &attrs, const uint32_t *pathId = nullptr) {
    Builder e;
    e.U16(peer).U32(originated);
    if (pathId != nullptr) e.U32(*pathId);
    e.U16(static_cast<uint32_t>(attrs.size())).Raw(attrs);
    return e.b;
}

// BGP4MP_MESSAGE_AS4 family body (subtypes 4, 7, 9, 11) over IPv4.
inline Bytes Bgp4mpAs4(uint32_t peerAs, uint32_t localAs, const std::string &peer, const std::string &local,
                       const Bytes &msg) {
    Builder b;
    b.U32(peerAs).U32(localAs).U16(0).U16(1).Ip(peer).Ip(local).Raw(msg);
    return b.b;
}

}  // namespace mrttest
