// A run of rpd-host: the route walk and its sinks (the output behind the
// filters, the verifier, the problem log), the progress line, and the loop
// over input files. It is the MessageSink every reader and live mode feeds.
// The tests and the fuzz targets run rpd-host through it too.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>

#include "filter.h"
#include "input.h"
#include "plugin.h"
#include "problem_log.h"
#include "progress.h"
#include "reporter.h"
#include "verifier.h"
#include "walk.h"

namespace rpdhost {

struct RunOptions {
    OutputMode output = OutputMode::Text;
    bool verify = false;
    bool progress = false;  // the progress line on `err`
    WalkOptions walk;
    RouteFilter filter;
    std::string station;             // names the station in every JSON record ("": none)
    RecordOut *publish = nullptr;    // where the JSON records are published too, behind the same filters
    RecordOut *records = nullptr;    // instead of the output: the JSON records go here (--table)
};

class Run : public MessageSink {
public:
    // The output goes to `out`, problems to `err`.
    Run(const Plugin &plugin, const RunOptions &opt, FILE *out, FILE *err);

    // Reads one input; false when it could not be read at all (which is
    // reported). `size` (0: unknown) gives the progress line its share done.
    bool File(const std::string &name, FILE *in, const InputOptions &inOpt, uint64_t size = 0);
    // An input that could not even be opened.
    void Unreadable(const std::string &name, const std::string &why) { walk_.Unreadable(name, why); }
    // An allocation failed while reading `name`: what was read before it stands, the rest is not read.
    void OutOfMemory(const std::string &name, const std::string &what) { walk_.Unreadable(name, what, "out of memory"); }
    // The sinks finish (the JSON summary record among them); the summary is final.
    const Summary &Finish();
    const Summary &summary() { return walk_.summary(); }
    uint32_t CountedRoutes() const { return walk_.CountedRoutes(); }

    void OnInput(const std::string &name) override { walk_.OnInput(name); }
    void OnStationInput(const std::string &station, const std::string &file) override {
        walk_.OnStationInput(station, file);
    }
    void OnMessage(const Message &m) override { walk_.OnMessage(m); }
    void OnProblem(const InputProblem &p) override { walk_.OnProblem(p); }
    void OnEvent(const InputEvent &e) override { walk_.OnEvent(e); }
    void OnCounts(const InputCounts &c) override { walk_.OnCounts(c); }
    void OnSent(const Bytes &m) override { walk_.OnSent(m); }
    void OnProgress(uint64_t bytes) override;
    // Pushes the output out; false once a write to it failed.
    bool Flush() override;
    // Whether everything written to the output reached it; when not, says why
    // on `err` (a closed pipe quietly, as a reader that stopped expects).
    bool Delivered();

private:
    Progress progress_;
    ProblemLog log_;
    std::unique_ptr<RouteSink> output_, published_;
    FanOut outputs_;
    FilteredSink filtered_;
    FanOut sinks_;
    RouteWalk walk_;
    Verifier verifier_;
    FILE *in_ = nullptr;  // a regular file being read: its position is the progress
    RecordOut *publish_ = nullptr;
    FILE *out_, *err_;
    int outError_ = 0;  // the output's first failure (-1: one without a reason)
};

}  // namespace rpdhost
