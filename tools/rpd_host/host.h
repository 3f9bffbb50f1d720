// The host side of rpd-host: walks each BGP message through the plug-in's
// callbacks, prints what they render, verifies round trips and keeps the
// run's counts.
#pragma once

#include <cstdint>
#include <cstdio>
#include <map>
#include <string>

#include "input.h"
#include "plugin.h"
#include "update.h"

namespace rpdhost {

enum class OutputMode { Text, Display, Json, None };

struct HostOptions {
    OutputMode output = OutputMode::Text;
    bool verify = false;
    bool progress = false;  // progress line on stderr
    uint8_t wcCode = kDefaultWideCommunityCode;
};

struct Summary {
    uint64_t messages = 0;
    std::map<std::string, uint64_t> byType;  // message type name -> count
    uint64_t announced = 0;
    uint64_t withdrawn = 0;
    uint64_t policies = 0;
    uint64_t otherAttributes = 0;
    uint64_t otherFamilies = 0;
    uint64_t ipv4Updates = 0;
    uint64_t verified = 0;
    uint64_t events = 0;
    uint64_t files = 0;
    uint64_t filesWithoutMessages = 0;
    std::map<std::string, uint64_t> failures;  // by status name, or input / walk / verify
    std::map<std::string, SkipTally> skipped;  // what the readers passed over, by reason
    uint64_t Failures() const;
    // Whether the run saw anything it could not read or decode: the exit status is 1 then.
    bool Failed() const;
};

class Host : public InputSink {
public:
    Host(const Plugin &plugin, const HostOptions &opt, FILE *out) : plugin_(plugin), opt_(opt), out_(out) {}

    // Reads one input; false when it could not be read at all.
    bool Run(const std::string &name, FILE *in, const InputOptions &in_opt);
    // An input that could not even be opened.
    void Unreadable(const std::string &name, const std::string &why);
    void PrintSummary(FILE *to) const;
    // The summary as one JSON record.
    void PrintSummaryJson(FILE *to) const;
    const Summary &summary() const { return sum_; }
    // Routes the plug-in's counters hold (announced minus withdrawn), read back through its callback.
    uint32_t CountedRoutes() const;

    void OnMessage(const Message &m) override;
    void OnProblem(const InputProblem &p) override;
    void OnEvent(const InputEvent &e) override;
    void OnProgress(uint64_t bytes) override;

private:
    struct Route;
    void Walk(const Message &m, const Span &field, bool announce, const OutBuf &attr, uint32_t attrStatus);
    void Failure(const Message &m, size_t at, const std::string &what, const std::string &status);
    void Diff(const Message &m, const std::string &what);
    void PrintHeader(const Message &m);
    void PrintPolicy(const OutBuf &attr);
    void VerifyRoute(const Message &m, const Route &r);
    void VerifyAttribute(const Message &m, const Span &value, const OutBuf &attr);

    const Plugin &plugin_;
    HostOptions opt_;
    FILE *out_;
    std::string name_;
    Summary sum_;
    uint32_t counters_[2] = {0, 0};
    bool headerDone_ = false;
    OutBuf prevKey_;
    uint64_t progressTick_ = 0;
    double lastProgress_ = 0;
    bool progressShown_ = false;
};

}  // namespace rpdhost
