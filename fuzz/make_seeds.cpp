// Writes the seed corpora of the fuzz targets from the shared wire writers:
// fuzz/corpus/<target>/<name>. Run by scripts/fuzz --seeds; the output is kept in the repository.
#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "bgp_session.h"
#include "bgp_writer.h"
#include "file_writer.h"
#include "bmp_writer.h"
#include "hex.h"
#include "route_buffers.h"

namespace {

using rpdwire::Bytes;

std::string g_root;

void Put(const std::string &target, const std::string &name, const Bytes &b) {
    const std::string dir = g_root + "/" + target;
    mkdir(dir.c_str(), 0755);
    FILE *f = std::fopen((dir + "/" + name).c_str(), "wb");
    if (f == nullptr) return;
    std::fwrite(b.data(), 1, b.size(), f);
    std::fclose(f);
}

Bytes Cat(Bytes a, const Bytes &b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

Bytes FileOf(rpdwire::FileFormat fmt, const std::vector<Bytes> &msgs, uint32_t mss, bool v6 = false,
             rpdwire::Endpoints ep = {}) {
    char *buf = nullptr;
    size_t len = 0;
    FILE *f = open_memstream(&buf, &len);
    if (v6) ep.peerAddr = "2001:db8::1", ep.localAddr = "2001:db8::2";
    rpdwire::WriteMessages(f, fmt, msgs, ep, mss);
    std::fclose(f);
    Bytes out(buf, buf + len);
    free(buf);
    return out;
}

}  // namespace

int main(int argc, char **argv) {
    g_root = argc > 1 ? argv[1] : "fuzz/corpus";
    mkdir(g_root.c_str(), 0755);

    Bytes nlri;
    rpdwire::AppendNlri(nlri, {7, 0x0A010101, 1});
    Bytes two = nlri;
    rpdwire::AppendNlri(two, {8, 0xC0000201, 1});
    Put("nlri", "one", Cat({0}, nlri));
    Put("nlri", "two-unreach", Cat({1}, two));
    Put("nlri", "ipv6-length", Cat({0}, Bytes{21, 1, 0, 0, 0, 1, 0x20, 1, 0xd, 0xb8, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1}));

    const rpdwire::Policy full = rpdwire::FullPolicy();
    const Bytes fullValue = rpdwire::Encode(full);
    const Bytes minimal = rpdwire::Encode(rpdwire::MinimalPolicy());
    rpdwire::Policy noadv = rpdwire::FullPolicy();
    noadv.community = rpdwire::kMatchAndNoAdv;
    noadv.actions.clear();
    Put("widecmty", "minimal", minimal);
    Put("widecmty", "full", fullValue);
    Put("widecmty", "noadv", rpdwire::Encode(noadv));
    const Bytes rooms = {0x01, 0x00, 0x00, 0x40};
    Put("roundtrip", "minimal", Cat(rooms, minimal));
    Put("roundtrip", "full", Cat(rooms, fullValue));
    Put("roundtrip", "full-small-rooms", Cat({0, 20, 0, 12}, fullValue));

    const Bytes body = {9, 1, 0, 0, 0, 7, 10, 1, 1, 1};
    for (uint8_t pick = 0; pick < 6; ++pick) Put("message", "prefix-" + std::to_string(pick), Cat({pick}, body));
    Put("message", "bgpi-ipv6", Cat({1}, Bytes{21, 1, 0, 0, 0, 7, 0x20, 1, 0xd, 0xb8, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1}));
    Put("message", "attr-full", Cat({6}, fullValue));
    Put("message", "attr-minimal", Cat({6}, minimal));
    Put("message", "cfg", Bytes{7, 8, 0, 0, 0, 1, 4, 7, 0, 0, 0, 1, 1, 1, 10, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
                                0, 0, 0, 0, 0, 0, 0, 0, 0});

    auto key = [](uint8_t policy, uint8_t addrLen, uint32_t distinguisher, uint32_t peer) {
        const TAM_RPD_ROUTE_KEY k = rpdhost::MakeKey(distinguisher, peer, policy, addrLen);
        const auto *raw = reinterpret_cast<const uint8_t *>(&k);
        return Bytes(raw, raw + sizeof(k));
    };
    Put("key", "export", Cat(Cat({38, 0x06}, key(1, 4, 7, 0x0A010101)), key(1, 4, 8, 0x0A010102)));
    Put("key", "small-rooms", Cat(Cat({9, 0x0D}, key(1, 4, 7, 0x0A010101)), key(1, 4, 7, 0x0A010101)));
    Put("key", "not-export", Cat(Cat({200, 0x02}, key(2, 4, 1, 1)), key(1, 16, 1, 1)));

    rpdwire::Update a;
    a.announce = {{7, 0x0A010101, 1}, {8, 0x0A010102, 1}};
    a.hasPolicy = true;
    a.wideCommunity = fullValue;
    a.originAs = 65001;
    rpdwire::Update w;
    w.withdraw = {{7, 0x0A010101, 1}};
    const std::vector<Bytes> msgs = {rpdwire::BuildUpdate(a), rpdwire::BuildUpdate(w)};
    // A peer's session as rpd-host listen reads it: OPEN, KEEPALIVE, UPDATEs, in reads of up to 64 bytes
    // (a length byte and a clock step before each), of one byte, and with the clock past the hold time.
    Bytes stream = rpdhost::BuildOpen({65001, 0x7F000002, 9});
    for (const Bytes &m : {rpdhost::BuildKeepalive(), msgs[0], msgs[1], rpdhost::BuildKeepalive()})
        stream.insert(stream.end(), m.begin(), m.end());
    auto reads = [](const Bytes &b, size_t n, uint8_t step) {
        Bytes out;
        for (size_t i = 0; i < b.size(); i += n) {
            const size_t k = std::min(n, b.size() - i);
            out.push_back(static_cast<uint8_t>(k - 1));
            out.push_back(step);
            out.insert(out.end(), b.begin() + static_cast<std::ptrdiff_t>(i),
                       b.begin() + static_cast<std::ptrdiff_t>(i + k));
        }
        return out;
    };
    Put("session", "established", reads(stream, 64, 1));
    Put("session", "bytewise", reads(Bytes(stream.begin(), stream.begin() + 60), 1, 0));
    Put("session", "hold-expiry", reads(Bytes(stream.begin(), stream.begin() + 90), 64, 200));

    Put("input", "hex", Cat({0}, FileOf(rpdwire::FileFormat::Hex, msgs, 0)));
    Put("input", "raw", Cat({1}, FileOf(rpdwire::FileFormat::Raw, msgs, 0)));
    Put("input", "mrt", Cat({2}, FileOf(rpdwire::FileFormat::Mrt, msgs, 0)));
    Put("input", "mrt-v6", Cat({2}, FileOf(rpdwire::FileFormat::Mrt, msgs, 0, true)));
    Put("input", "pcap", Cat({3}, FileOf(rpdwire::FileFormat::Pcap, msgs, 60)));
    Put("input", "pcap-v6", Cat({3}, FileOf(rpdwire::FileFormat::Pcap, msgs, 1400, true)));
    // A monitoring stream: initiation, a peer up with both OPENs, route monitoring (pre-policy, IPv4 peer),
    // route mirroring (post-policy, IPv6 peer), termination.
    rpdwire::BmpPeer v4, v6;
    v6.addr = "2001:db8::1";
    v6.flags = 0x40;
    Bytes up = rpdwire::BmpPeerHeader(v4);
    up.resize(up.size() + 20, 0);  // local address and ports
    for (const Bytes &o : {rpdhost::BuildOpen({65000, 1, 90}), rpdhost::BuildOpen({65001, 2, 90})})
        up.insert(up.end(), o.begin(), o.end());
    const Bytes bmp = Cat(rpdwire::BmpMessage(rpdwire::kBmpInitiation, rpdwire::BmpTlv(2, {'r'})),
                          Cat(rpdwire::BmpMessage(rpdwire::kBmpPeerUp, up),
                              Cat(rpdwire::BmpRouteMonitoring(v4, msgs[0]),
                                  Cat(rpdwire::BmpRouteMirroring(v6, msgs[1]),
                                      rpdwire::BmpMessage(rpdwire::kBmpTermination, {})))));
    Put("input", "bmp", Cat({4}, bmp));
    // The same stream from a router to its station on port 1790, captured in 50-byte segments.
    rpdwire::Endpoints station;
    station.localPort = rpdwire::kBmpPort;
    Put("input", "bmp-pcap", Cat({3}, FileOf(rpdwire::FileFormat::Pcap, {bmp}, 50, false, station)));
    return 0;
}
