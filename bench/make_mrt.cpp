// Writes an MRT file (or, named .pcap, a capture of one BGP session) of N RPD
// announcements, one UPDATE each, every one with a typical policy (10 prefix
// entries, 2 AS-path texts, 2 community filters, MED + AS-path + community
// actions) that varies with the route.
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "bgp_writer.h"
#include "file_writer.h"

int main(int argc, char **argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: make_mrt COUNT OUT.mrt|OUT.pcap\n");
        return 2;
    }
    const unsigned long count = std::strtoul(argv[1], nullptr, 10);
    FILE *out = std::fopen(argv[2], "wb");
    if (out == nullptr) return 1;
    rpdwire::Endpoints ep;
    // A capture is one connection, written at once; MRT records are written in batches.
    const std::string name = argv[2];
    const bool pcap = name.size() > 5 && name.compare(name.size() - 5, 5, ".pcap") == 0;
    const rpdwire::FileFormat format = pcap ? rpdwire::FileFormat::Pcap : rpdwire::FileFormat::Mrt;
    std::vector<rpdwire::Bytes> batch;
    for (unsigned long i = 0; i < count; ++i) {
        const uint32_t n = static_cast<uint32_t>(i);
        rpdwire::Policy p;
        p.community = rpdwire::kMatchAndSet;
        p.srcAs = 65001;
        p.contextAs = 65000 + (n & 255);
        std::vector<rpdwire::PrefixEntry> prefixes;
        for (uint32_t k = 0; k < 10; ++k)
            prefixes.push_back({0x0A000000u + ((n * 10 + k) << 8 & 0xFFFFFF), 24, 0, 0, 0, 0});
        p.atoms = {rpdwire::PrefixAtom(prefixes), rpdwire::AsPathAtom("^" + std::to_string(64512 + n % 1000) + "_"),
                   rpdwire::AsPathAtom("_65010$"), rpdwire::CmtyAtom({0xFDE90000u | (n & 0xFFFF)}),
                   rpdwire::CmtyAtom({0xFDEA0001})};
        p.actions = {rpdwire::MedAction(1, n % 1000), rpdwire::AsPathAction({{65001, 2}, {65002, 1}}),
                     rpdwire::CmtyAction({100, n})};
        rpdwire::Update u;
        u.announce = {{n, 0x0A000000u | (n & 0xFFFFFF), 1}};
        u.hasPolicy = true;
        u.wideCommunity = rpdwire::Encode(p);
        u.nextHop = 0xC0000201;
        u.originAs = 65001;
        batch.push_back(rpdwire::BuildUpdate(u));
        if ((batch.size() == 4096 && !pcap) || i + 1 == count) {
            if (!rpdwire::WriteMessages(out, format, batch, ep)) return 1;
            batch.clear();
        }
    }
    return std::fclose(out) == 0 ? 0 : 1;
}
