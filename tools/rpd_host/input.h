// Readers of BGP message streams: hex text, raw binary, MRT (BGP4MP) and
// pcap/pcapng captures of BGP over TCP. They know nothing of the plug-in:
// each hands whole BGP messages (marker included) to a sink.
#pragma once

#include <cstdint>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

namespace rpdhost {

enum class InputFormat { Auto, Hex, Raw, Mrt, Pcap };

const char *FormatName(InputFormat f);
bool ParseInputFormat(const std::string &name, InputFormat &out);
// Guesses the format from the first bytes of a file.
InputFormat DetectFormat(const uint8_t *head, size_t n);

struct Message {
    std::vector<uint8_t> bytes;  // the whole BGP message, marker included
    uint64_t number = 0;         // 1-based position in the input
    uint64_t offset = 0;         // start in the file (hex: in the decoded bytes; pcap: in its TCP stream)
    std::string where;           // where the message came from, for reports ("" when only the offset says it)
    std::string peer;            // sender address, when the input names it
    uint32_t peerAs = 0;
    bool hasTime = false;
    int64_t sec = 0;
    uint32_t usec = 0;
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
    // Bytes of the input consumed so far, for progress reports.
    virtual void OnProgress(uint64_t /*bytes*/) {}
};

struct InputCounts {
    uint64_t messages = 0;
    uint64_t problems = 0;
    uint64_t skippedRecords = 0;  // MRT records of other types
    uint64_t packets = 0;         // pcap frames read
    uint64_t skippedPackets = 0;  // frames that carry no BGP payload we follow
    uint64_t streams = 0;         // TCP directions seen on port 179
};

// Splits a byte stream into BGP messages. When the marker is optional (hex
// text) a message may start directly with its length field; the length then
// still counts the 16 marker bytes, as on the wire.
class Framer {
public:
    explicit Framer(bool markerOptional) : markerOptional_(markerOptional) {}
    void Feed(const uint8_t *p, size_t n);
    // 1: a message is in `out`; 0: more bytes are needed; -1: the stream is
    // broken (`what` says why) and nothing more comes out of it.
    int Next(std::vector<uint8_t> &out, uint64_t &offset, std::string &what);
    // At the end of the stream: bytes that never made a whole message.
    size_t Pending() const { return buf_.size() - head_; }
    uint64_t Consumed() const { return consumed_; }
    bool Broken() const { return broken_; }

private:
    bool markerOptional_;
    bool broken_ = false;
    std::vector<uint8_t> buf_;
    size_t head_ = 0;
    uint64_t consumed_ = 0;
};

// Reads the whole input, calling the sink for every message and problem.
// Returns false only when the input cannot be read at all (`fatal` says why).
bool ReadInput(FILE *in, InputFormat fmt, InputSink &sink, InputCounts &counts, std::string &fatal);

}  // namespace rpdhost
