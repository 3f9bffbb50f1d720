// The problem log: every problem and warning of a run on stderr, one line
// each (and the bytes around it, when there are any), said the one way:
// "rpd-host: FILE: message N (offset O, frame F, STREAM): WHAT at ...: STATUS".
#pragma once

#include <cstdio>
#include <functional>
#include <string>

#include "route_sink.h"

namespace rpdhost {

class ProblemLog : public RouteSink {
public:
    // `beforeWrite` runs before each line: it pushes out the routes written
    // so far, so that reports stand next to them, and clears a progress line.
    explicit ProblemLog(FILE *err, std::function<void()> beforeWrite = {})
        : err_(err), beforeWrite_(std::move(beforeWrite)) {}
    void Problem(const ProblemView &p) override;
    // A note of the run's own about an input: "rpd-host: NAME: TEXT".
    void Note(const std::string &name, const std::string &text);

private:
    void Start(const std::string &name);
    FILE *err_;
    std::function<void()> beforeWrite_;
};

}  // namespace rpdhost
