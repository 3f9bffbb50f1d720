// What a live speaker receives, written as it arrives for replay with the
// file readers: MRT (BGP4MP_ET: the messages with microsecond times, and
// the session's state changes) or pcap / pcapng (one TCP connection per
// session, handshake and close included, the peer's messages as its
// segments). In a capture, each session's listening side stands on TCP port
// 179, BGP's own, so that `rpd-host FILE` replays it with no option.
#pragma once

#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>

#include "file_writer.h"

namespace rpdhost {

// One recorded connection: its addressing and, for pcap, its sequence numbers.
struct RecordLink {
    rpdwire::Endpoints ep;
    uint32_t peerSeq = 1000, localSeq = 5000;
};

class Recorder {
public:
    enum class Format { Mrt, Pcap, Pcapng };
    Recorder() = default;
    Recorder(const Recorder &) = delete;
    Recorder &operator=(const Recorder &) = delete;
    ~Recorder();

    // "mrt", "pcap" or "pcapng".
    static bool ParseFormat(const std::string &name, Format &f);

    // Starts the record at `path` ("": nothing is recorded). Without a format
    // the name tells it: .pcap is pcap, .pcapng pcapng, anything else MRT.
    bool Open(const std::string &path, std::optional<Format> f, std::string &why);
    bool active() const { return out_ != nullptr; }

    void Connected(RecordLink &l, double now);
    void Received(RecordLink &l, const rpdwire::Bytes &message, double now);
    // MRT state change (RFC 6396 numbering: 1 Idle ... 6 Established).
    void StateChange(RecordLink &l, uint16_t from, uint16_t to, double now);
    void Closed(RecordLink &l, double now);
    // Pushes buffered records to the file; the first failure is kept in `why`.
    bool Flush(std::string &why);
    // The end of the record: flushed and closed, each checked.
    bool Close(std::string &why);

private:
    void Segment(RecordLink &l, uint8_t flags, bool fromPeer, const rpdwire::Bytes &payload, double now);
    void Write(const rpdwire::Bytes &b);

    FILE *out_ = nullptr;
    Format format_ = Format::Mrt;
    std::string path_;
    std::string error_;
};

}  // namespace rpdhost
