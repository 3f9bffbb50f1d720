// What every reader hands over: whole BGP messages with where they came
// from, events (what an input records besides messages), problems in the
// input itself, and the counts of what was passed over. Files, captures and
// live sessions all feed the same MessageSink.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "byte_reader.h"
#include "byte_writer.h"

namespace rpdhost {

using rpdwire::Be16;
using rpdwire::Be32;
using rpdwire::ByteReader;
using rpdwire::Bytes;

// Where a message comes from, as its reader stamps it.
struct MessageSource {
    uint64_t frame = 0;  // capture frame that completed the message (0: not a capture)
    std::string where;   // where the message came from, for reports ("" when only the offset says it)
    std::string peer;    // sender address, when the input names it
    uint32_t peerAs = 0;
    bool hasTime = false;
    int64_t sec = 0;
    uint32_t usec = 0;
    std::string router{};  // the BMP router or live BGP peer it came through, by address ("": none)
    std::string rib{};     // the router's table it reports ("pre-policy Adj-RIB-In", "Loc-RIB"; "": not BMP)
};

struct Message : MessageSource {
    Bytes bytes;          // the whole BGP message, marker included
    uint64_t number = 0;  // 1-based position in the input
    uint64_t offset = 0;  // start in the file (hex: in the decoded bytes; captures: in its TCP stream)
    bool addPath = false;    // its NLRI carry 4-byte path identifiers (RFC 7911)
    bool rebuilt = false;    // an UPDATE rebuilt from a RIB dump entry, not a received message
    bool hasPathId = false;  // RIB entry's own path identifier (RFC 8050)
    uint32_t pathId = 0;
    MessageSource &source() { return *this; }
};

// Something an input records that is not a message: a state change, a
// session opening or closing, a BMP peer coming up.
struct InputEvent {
    uint64_t offset = 0;
    std::string peer;
    uint32_t peerAs = 0;
    bool hasTime = false;
    int64_t sec = 0;
    uint32_t usec = 0;
    std::string what;
    bool live = false;  // from a session, not a file: the offset means nothing
    std::string router{};  // as MessageSource::router
    // What the event ends, for whoever keeps routes: the session with `peer`
    // (a BMP Peer Down, a closed session, an MRT state change leaving
    // Established), or everything the router sent (its BMP stream ended).
    enum class Ends : uint8_t { Nothing, Peer, Router } ends = Ends::Nothing;
};

// The names records give Ends ("peer", "router"; null for Nothing), and back.
inline const char *EndsName(InputEvent::Ends e) {
    return e == InputEvent::Ends::Peer ? "peer" : e == InputEvent::Ends::Router ? "router" : nullptr;
}
inline InputEvent::Ends EndsOf(std::string_view name) {
    return name == "peer" ? InputEvent::Ends::Peer : name == "router" ? InputEvent::Ends::Router : InputEvent::Ends::Nothing;
}

// A problem in the input itself (framing, truncation, capture), not in a message.
struct InputProblem {
    uint64_t number = 0;  // the message number it stands at (the next one to come); 0 for a live session's
    uint64_t offset = 0;
    uint64_t frame = 0;
    std::string where;
    std::string what;
    std::string kind = "input";  // what was being read: "capture", "BGP stream", "MRT", "session", ...
};

// What a reader passed over, under one reason. Damage (malformed, cut or
// lost data) makes a run fail; the rest (other protocols, ports, record
// types) is only shown.
struct SkipTally {
    uint64_t count = 0;
    bool damage = false;
};

struct InputCounts {
    std::string format;       // as read (told or given)
    std::string compression;  // "" when not compressed
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

class MessageSink {
public:
    virtual ~MessageSink() = default;
    // A new input begins: a file, or a live mode's listener.
    virtual void OnInput(const std::string & /*name*/) {}
    // An input another station read (records read back from a stream): "STATION: FILE" to whoever names it so.
    virtual void OnStationInput(const std::string &station, const std::string &file) { OnInput(station + ": " + file); }
    virtual void OnMessage(const Message &m) = 0;
    virtual void OnProblem(const InputProblem &p) = 0;
    virtual void OnEvent(const InputEvent & /*e*/) {}
    // Bytes of the input consumed so far, for progress reports.
    virtual void OnProgress(uint64_t /*bytes*/) {}
    // What one reader counted and passed over, once it is done.
    virtual void OnCounts(const InputCounts & /*counts*/) {}
    // A message we sent ourselves (speak's UPDATEs): counted apart from what is read.
    virtual void OnSent(const Bytes & /*message*/) {}
    // Pushes what the sink wrote to its outputs, so that a live input shows
    // as it happens; false once an output failed (what is read would be lost).
    virtual bool Flush() { return true; }
};

}  // namespace rpdhost
