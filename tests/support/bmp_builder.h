// Hand-built BMP monitoring streams, shared by the BMP reader's tests and
// the tests of BMP in captures.
#pragma once

#include <cstdint>
#include <vector>

#include "bgp_session.h"
#include "bgp_writer.h"
#include "bmp_writer.h"
#include "input_reader.h"

namespace tamtest {

using rpdwire::BmpPeer;
using rpdwire::Bytes;

// An UPDATE announcing one RPD route with the smallest policy.
inline Bytes RpdUpdate(uint32_t distinguisher) {
    rpdwire::Update u;
    u.announce = {{distinguisher, 0x0A010101, 1}};
    u.hasPolicy = true;
    u.wideCommunity = rpdwire::Encode(rpdwire::MinimalPolicy());
    return rpdwire::BuildUpdate(u);
}

inline Bytes BmpPeerUp(const BmpPeer &p, bool peerOffersRpd) {
    Bytes body = rpdwire::BmpPeerHeader(p);
    body.resize(body.size() + 16, 0);
    body.back() = 1;  // local address 0.0.0.1
    body.insert(body.end(), {0, 179, 0x9C, 0x40});
    const Bytes ours = rpdhost::BuildOpen({65000, 1, 90});
    Bytes theirs = rpdhost::BuildOpen({65001, 2, 90});
    if (!peerOffersRpd) theirs[36] = 1;  // the first capability's SAFI: unicast instead of RPD
    body.insert(body.end(), ours.begin(), ours.end());
    body.insert(body.end(), theirs.begin(), theirs.end());
    return rpdwire::BmpMessage(rpdwire::kBmpPeerUp, body);
}

// A statistics report of three counters: a 32-bit counter, a 64-bit gauge, a gauge of one family.
inline Bytes BmpStatistics(const BmpPeer &p) {
    return rpdwire::BmpMessage(rpdwire::kBmpStatistics,
                               Cat({rpdwire::BmpPeerHeader(p), Bytes{0, 0, 0, 3}, rpdwire::BmpTlv(0, {0, 0, 0, 3}),
                                    rpdwire::BmpTlv(7, {0, 0, 0, 1, 0, 0, 0, 1}),
                                    rpdwire::BmpTlv(9, {0, 1, 75, 0, 0, 0, 0, 0, 0, 0, 2})}));
}

// A router's whole session with its station: initiation, a peer up,
// `routes` route monitorings of RPD routes, a statistics report, termination.
inline Bytes BmpSession(uint32_t routes, const BmpPeer &p = {}) {
    Bytes s = Cat({rpdwire::BmpMessage(rpdwire::kBmpInitiation, rpdwire::BmpTlv(2, {'r', '1'})), BmpPeerUp(p, true)});
    for (uint32_t i = 1; i <= routes; ++i) s = Cat({s, rpdwire::BmpRouteMonitoring(p, RpdUpdate(i))});
    return Cat({s, BmpStatistics(p), rpdwire::BmpMessage(rpdwire::kBmpTermination, rpdwire::BmpTlv(1, {0, 0}))});
}

}  // namespace tamtest
