// Where the JSON records go, one at a time: a stream, one line each (--json),
// or a publisher that files each record under its router and type.
#pragma once

#include <cstdio>
#include <string>
#include <string_view>

#include "summary.h"

namespace rpdhost {

// What a record is filed under: its type ("route", "policy", "event",
// "problem", "summary") and the router it came through ("" for none).
struct RecordTag {
    const char *type;
    std::string_view router;
};

class RecordOut {
public:
    virtual ~RecordOut() = default;
    // One record, without its line feed; the callee may change `line`.
    virtual void Put(const RecordTag &tag, std::string &line) = 0;
    // Sends on what it holds back (the run is about to wait for input).
    virtual void Flush() {}
    // What it could not deliver, added to the run's summary before that is written.
    virtual void Tally(Summary &) const {}
};

// One line each on a stream.
class StreamRecordOut : public RecordOut {
public:
    explicit StreamRecordOut(FILE *out) : out_(out) {}
    void Put(const RecordTag &, std::string &line) override {
        line += '\n';
        std::fwrite(line.data(), 1, line.size(), out_);
    }

private:
    FILE *out_;
};

}  // namespace rpdhost
