#include "run.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <new>

namespace rpdhost {

Run::Run(const Plugin &plugin, const RunOptions &opt, FILE *out, FILE *err)
    : progress_(opt.progress), log_(err,
                                    [this] {
                                        Flush();
                                        progress_.Clear();
                                    }),
      output_(opt.records != nullptr ? MakeJsonReporter(plugin, *opt.records, opt.station)
                                     : MakeReporter(opt.output, plugin, out, opt.station)),
      published_(opt.publish != nullptr ? MakeJsonReporter(plugin, *opt.publish, opt.station) : nullptr),
      filtered_(opt.filter, outputs_),
      walk_(plugin, opt.walk, sinks_), verifier_(plugin, walk_), publish_(opt.publish), out_(out), err_(err) {
    outputs_.Add(*output_);
    if (published_) outputs_.Add(*published_);
    // Problems reach stderr before the output keeps them; the verifier
    // checks a route after the output showed it.
    sinks_.Add(log_);
    sinks_.Add(filtered_);
    if (opt.verify) sinks_.Add(verifier_);
}

bool Run::File(const std::string &name, FILE *in, const InputOptions &inOpt, uint64_t size) {
    in_ = size > 0 ? in : nullptr;
    OnInput(name);
    progress_.Start(name, size);
    InputCounts counts;
    ReaderContext ctx(*this, counts);
    std::string fatal;
    bool ok = false, outOfMemory = true;
    try {
        ok = ReadInput(in, inOpt, ctx, fatal);
        outOfMemory = false;
    } catch (const std::bad_alloc &) {
        // Unwinding gave back what the reading held: enough to say so and sum up.
    }
    progress_.Clear();
    walk_.OnCounts(counts);
    if (outOfMemory) {
        OutOfMemory(name, "the rest of this input is not read (what came before is counted)");
        return false;
    }
    if (!ok) {
        Unreadable(name, fatal);
        return false;
    }
    if (counts.messages == 0 && counts.events == 0) {
        ++walk_.summary().inputsWithoutMessages;
        log_.Note(name, "warning: no BGP message found (read as " + counts.format +
                            (counts.compression.empty() ? "" : ", " + counts.compression) + ")");
    }
    return true;
}

void Run::OnProgress(uint64_t bytes) {
    if (!progress_.enabled()) return;
    // A regular file's own position: right for compressed input too.
    const Summary &s = walk_.summary();
    progress_.Update(in_ != nullptr ? static_cast<uint64_t>(std::max<long>(0, std::ftell(in_))) : bytes, s.messages,
                     s.announced + s.withdrawn);
}

bool Run::Flush() {
    output_->Flush();
    if (publish_ != nullptr) publish_->Flush();
    if (outError_ == 0) {
        errno = 0;
        if (std::fflush(out_) != 0 || std::ferror(out_)) outError_ = errno != 0 ? errno : -1;
    }
    return outError_ == 0;
}

bool Run::Delivered() {
    if (Flush()) return true;
    if (outError_ != EPIPE)
        std::fprintf(err_, "rpd-host: standard output: %s\n", outError_ > 0 ? std::strerror(outError_) : "write error");
    return false;
}

const Summary &Run::Finish() {
    walk_.Finish();
    return walk_.summary();
}

}  // namespace rpdhost
