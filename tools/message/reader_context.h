// The reader context: how every reader and every live connection hands
// over what it reads. Messages are numbered here, events and problems
// counted, and a problem is always said the same way: the message number it
// stands at, the offset, the capture frame and the stream.
#pragma once

#include <string>

#include "message.h"

namespace rpdhost {

// Where something stands in its input.
struct Place {
    Place() = default;
    explicit Place(uint64_t at, uint64_t frameNumber = 0, std::string stream = "")
        : offset(at), frame(frameNumber), where(std::move(stream)) {}
    uint64_t offset = 0;
    uint64_t frame = 0;
    std::string where;
};

class ReaderContext {
public:
    // `live`: the input is a session, not a file: its problems stand at no
    // message and its events at no offset.
    ReaderContext(MessageSink &sink, InputCounts &counts, bool live = false)
        : sink_(sink), counts_(counts), live_(live) {}

    MessageSink &sink() const { return sink_; }
    InputCounts &counts() const { return counts_; }

    // Numbers the message and hands it over.
    void Emit(Message &m);
    void Event(InputEvent &e);
    // Counts `n` units passed over under `reason`.
    void Skip(const std::string &reason, bool damage, uint64_t n = 1) { counts_.Skip(reason, damage, n); }
    // A problem in what `kind` names ("capture", "BGP stream", "MRT", "session", ...).
    void Problem(const char *kind, const Place &at, std::string what);
    // Damage counted under `reason` and reported: the one way a reader says it lost something.
    void Damage(const char *kind, const Place &at, const std::string &reason, std::string what, uint64_t n = 1);
    void Progress(uint64_t bytes) { sink_.OnProgress(bytes); }

private:
    MessageSink &sink_;
    InputCounts &counts_;
    bool live_;
};

}  // namespace rpdhost
