// Captures: classic pcap through libpcap; pcapng through our own block
// reader, since libpcap gives one link type per capture and refuses a pcapng
// whose interfaces differ (as mergecap makes them).
#include <pcap/pcap.h>

#include <memory>

#include "capture.h"
#include "pcapng_reader.h"

namespace rpdhost {

namespace {

// Closed however the reading ends (an allocation failure unwinds through it).
struct PcapCloser {
    void operator()(pcap_t *p) const { pcap_close(p); }
};
struct FileCloser {
    void operator()(FILE *f) const { std::fclose(f); }
};

bool ReadClassic(FILE *in, CaptureDecoder &decoder, ReaderContext &ctx, std::string &fatal) {
    char errbuf[PCAP_ERRBUF_SIZE] = "";
    const std::unique_ptr<pcap_t, PcapCloser> handle(
        pcap_fopen_offline_with_tstamp_precision(in, PCAP_TSTAMP_PRECISION_MICRO, errbuf));
    pcap_t *pc = handle.get();
    if (pc == nullptr) {
        std::fclose(in);
        fatal = std::string("not a readable capture: ") + errbuf;
        return false;
    }
    FrameInfo f;
    // libpcap names link types by its DLT_ values; the decoder by the file's LINKTYPE_ ones.
    const int dlt = pcap_datalink(pc);
    f.linkType = dlt == DLT_RAW ? rpdwire::kLinkRaw : static_cast<uint32_t>(dlt);
    pcap_pkthdr *hdr = nullptr;
    const u_char *data = nullptr;
    int r;
    uint64_t bytes = 24;
    while ((r = pcap_next_ex(pc, &hdr, &data)) == 1) {
        f.number = ++ctx.counts().packets;
        f.sec = hdr->ts.tv_sec;
        f.usec = static_cast<uint32_t>(hdr->ts.tv_usec);
        f.wireLen = hdr->len;
        bytes += 16 + hdr->caplen;
        decoder.Frame(f, data, hdr->caplen);
        ctx.Progress(bytes);
    }
    if (r == -1) {
        ctx.Damage("capture", Place(bytes), "captures damaged or cut short (the rest unread)",
                   std::string("capture: ") + pcap_geterr(pc));
    }
    return true;
}

}  // namespace

bool ReadCapture(FILE *in, bool pcapng, const CaptureOptions &opt, ReaderContext &ctx, std::string &fatal) {
    CaptureDecoder decoder(opt, ctx);
    bool ok = true;
    if (pcapng) {
        const std::unique_ptr<FILE, FileCloser> file(in);
        ReadPcapng(in, decoder, ctx);
    } else {
        ok = ReadClassic(in, decoder, ctx, fatal);
    }
    decoder.Finish();
    return ok;
}

}  // namespace rpdhost
