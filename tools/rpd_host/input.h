// Readers of BGP message streams: hex text, raw binary, MRT (BGP4MP,
// TABLE_DUMP_V2, TABLE_DUMP) and pcap/pcapng captures of BGP over TCP, each
// also gzip-, bzip2-, xz- or zstd-compressed. They know nothing of the
// plug-in: each hands whole BGP messages (marker included) to a sink, and
// counts everything it passes over.
#pragma once

#include <cstdint>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

namespace rpdhost {

enum class InputFormat { Auto, Hex, Raw, Mrt, Pcap, Bmp };

const char *FormatName(InputFormat f);
bool ParseInputFormat(const std::string &name, InputFormat &out);
// Tells the format from the first bytes of an (uncompressed) input; Auto
// when they look like none of them.
InputFormat DetectFormat(const uint8_t *head, size_t n, bool whole);

constexpr uint16_t kBgpPort = 179;

struct InputOptions {
    InputFormat format = InputFormat::Auto;
    std::vector<uint16_t> ports{kBgpPort};  // TCP ports whose streams are BGP (captures)
};

struct Message {
    std::vector<uint8_t> bytes;  // the whole BGP message, marker included
    uint64_t number = 0;         // 1-based position in the input
    uint64_t offset = 0;         // start in the file (hex: in the decoded bytes; pcap: in its TCP stream)
    uint64_t frame = 0;          // capture frame that completed the message (0: not a capture)
    std::string where;           // where the message came from, for reports ("" when only the offset says it)
    std::string peer;            // sender address, when the input names it
    uint32_t peerAs = 0;
    bool hasTime = false;
    int64_t sec = 0;
    uint32_t usec = 0;
    bool addPath = false;   // its NLRI carry 4-byte path identifiers (RFC 7911)
    bool rebuilt = false;   // an UPDATE rebuilt from a RIB dump entry, not a received message
    bool hasPathId = false; // RIB entry's own path identifier (RFC 8050)
    uint32_t pathId = 0;
};

// Something the input records that is not a message (a BGP state change).
struct InputEvent {
    uint64_t offset = 0;
    std::string peer;
    uint32_t peerAs = 0;
    bool hasTime = false;
    int64_t sec = 0;
    uint32_t usec = 0;
    std::string what;
    bool live = false;  // from a session, not a file: the offset means nothing
};

// A problem in the input itself (framing, truncation, capture), not in a message.
struct InputProblem {
    uint64_t number = 0;  // message number the problem stands at (the next one to come)
    uint64_t offset = 0;
    std::string where;
    std::string what;
};

class InputSink {
public:
    virtual ~InputSink() = default;
    virtual void OnMessage(const Message &m) = 0;
    virtual void OnProblem(const InputProblem &p) = 0;
    virtual void OnEvent(const InputEvent & /*e*/) {}
    // Bytes of the input consumed so far, for progress reports.
    virtual void OnProgress(uint64_t /*bytes*/) {}
};

// What a reader passed over, under one reason. Damage (malformed, cut or
// lost data) makes a run fail; the rest (other protocols, ports, record
// types) is only shown.
struct SkipTally {
    uint64_t count = 0;
    bool damage = false;
};

struct InputCounts {
    InputFormat format = InputFormat::Auto;  // as read (told or given)
    std::string compression;                 // "" when not compressed
    uint64_t messages = 0;
    uint64_t events = 0;
    uint64_t problems = 0;
    uint64_t packets = 0;  // capture frames read
    uint64_t streams = 0;  // TCP directions followed
    std::map<std::string, SkipTally> skipped;
    void Skip(const std::string &what, bool damage, uint64_t n = 1) {
        SkipTally &t = skipped[what];
        t.count += n;
        t.damage = t.damage || damage;
    }
};

// Splits a byte stream into BGP messages. Bytes that cannot start a message
// are passed over up to the next plausible header (16 marker bytes, a length
// of 19..65535 and a type of 1..5), so a stream that starts inside a message
// or lost bytes recovers at the next whole one. When the marker is optional
// (hex text) a message may also start directly with its length field; the
// length then still counts the 16 marker bytes, as on the wire.
class Framer {
public:
    enum class Step { More, Message, Skipped };
    explicit Framer(bool markerOptional) : markerOptional_(markerOptional) {}
    void Feed(const uint8_t *p, size_t n);
    // Message: `out` holds it, starting at stream offset `offset`.
    // Skipped: `skipped` bytes from `offset` on start no message and were dropped.
    Step Next(std::vector<uint8_t> &out, uint64_t &offset, uint64_t &skipped);
    // Drops a partly received message (the bytes after it are lost); returns how many bytes went.
    size_t Drop();
    // Counts `n` bytes the stream lost before the next ones fed, so offsets stay those of the stream.
    void Lost(uint64_t n) { consumed_ += n; }
    // At the end of the stream: a run of passed-over bytes not yet reported
    // (no message came after it), which Next would otherwise hold back.
    bool EndOfStream(uint64_t &offset, uint64_t &skipped);
    // Bytes that never made a whole message (a run of passed-over bytes aside).
    size_t Pending() const { return buf_.size() - head_; }
    uint64_t Consumed() const { return consumed_; }
    // Whether the pending bytes start with a plausible header (a message cut short).
    bool PendingIsMessage() const;

private:
    Step EndSkipRun(uint64_t &offset, uint64_t &skipped);
    bool markerOptional_;
    uint64_t skipRun_ = 0;    // bytes passed over since the last message
    uint64_t skipStart_ = 0;  // where that run began
    std::vector<uint8_t> buf_;
    size_t head_ = 0;
    uint64_t consumed_ = 0;
};

// Reads the whole input, calling the sink for every message and problem.
// Returns false only when the input cannot be read at all (`fatal` says why).
bool ReadInput(FILE *in, const InputOptions &opt, InputSink &sink, InputCounts &counts, std::string &fatal);

}  // namespace rpdhost
