// What a live speaker receives, written as it arrives for replay with the
// file readers: MRT (BGP4MP_ET: the messages with microsecond times, and
// the session's state changes) or pcap / pcapng (one TCP connection per
// session, handshake and close included, the peer's messages as its
// segments). In a capture, each session's listening side stands on TCP port
// 179, BGP's own, so that `rpd-host FILE` replays it with no option; a BMP
// station's records (captures only: MRT holds no BMP) put it on 1790, BMP's.
//
// A record may rotate, by size or by time as tcpdump's -C and -G do: FILE
// becomes FILE's name numbered (rec.000001.pcap, rec.000002.pcap, ...), and
// a new file begins with the first message or connection past the size or
// the period (a state change or a connection's end stays with what it
// ends), so each holds whole records and reads on its own (a capture's new
// file opens with the handshakes of the connections still open).
#pragma once

#include <cstdint>
#include <cstdio>
#include <optional>
#include <set>
#include <string>

#include "file_writer.h"

namespace rpdhost {

// One recorded connection: its addressing and, for pcap, its sequence numbers.
struct RecordLink {
    rpdwire::Endpoints ep;
    uint32_t peerSeq = 1001, localSeq = 5001;  // after the handshake, which stands at 1000 and 5000
};

// When a record moves to a new file.
struct RecordRotation {
    uint64_t bytes = 0;  // once this many are written (0: no limit)
    double seconds = 0;  // after this long (0: no limit)
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
    // The format a record at `path` takes: `f`, else the one its name tells (.pcap, .pcapng, else MRT).
    static Format FormatFor(const std::string &path, std::optional<Format> f);

    // Starts the record at `path` ("": nothing is recorded). Without a format
    // the name tells it: .pcap is pcap, .pcapng pcapng, anything else MRT.
    bool Open(const std::string &path, std::optional<Format> f, std::string &why, RecordRotation rotate = {});
    bool active() const { return out_ != nullptr; }
    // The name of a file the record began since the last call ("" when none).
    std::string TakeBegun();

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
    void Handshake(RecordLink &l, double now);
    void Write(const rpdwire::Bytes &b);
    bool Begin(std::string &why);
    // Moves to the next file when this one is full or old enough.
    void Due(double now);

    FILE *out_ = nullptr;
    Format format_ = Format::Mrt;
    std::string base_;  // as given
    std::string path_;  // the file being written
    std::string error_;
    RecordRotation rotate_;
    unsigned number_ = 0;    // of the file being written, when rotating
    uint64_t written_ = 0;   // bytes in it
    double started_ = -1;    // the time of its first record
    std::string begun_;
    std::set<RecordLink *> open_;  // connections to open again in a new capture file
};

}  // namespace rpdhost
