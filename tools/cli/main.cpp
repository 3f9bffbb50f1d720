// rpd-host: loads libtam_rpd.so as a BGP process would and decodes the RPD
// routes of BGP messages (files, captures, live sessions, BMP) with nothing
// but the callbacks the plug-in installs; `encode` writes such messages.
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <new>
#include <string>

#include "commands.h"
#include "net.h"
#include "options.h"
#include "record_replay.h"
#include "run.h"

namespace {

using namespace rpdhost;

// Where the plug-in is looked for without --plugin: beside rpd-host (a build
// tree), then the library directory of the install rpd-host belongs to,
// reached from its own location (so a relocated install or a staging root
// works), then that directory as configured. The first that exists wins;
// when none does, the first is named in the error.
std::string DefaultPluginPath() {
    char buf[4096];
    const ssize_t n = readlink("/proc/self/exe", buf, sizeof(buf) - 1);
    std::string self = n > 0 ? std::string(buf, static_cast<size_t>(n)) : std::string("./rpd-host");
    const size_t slash = self.rfind('/');
    const std::string dir = slash == std::string::npos ? std::string(".") : self.substr(0, slash);
    const std::string candidates[] = {dir + "/" TAM_RPD_DEFAULT_PLUGIN,
                                      dir + "/" TAM_RPD_RELATIVE_LIBDIR "/" TAM_RPD_DEFAULT_PLUGIN,
                                      TAM_RPD_LIBDIR "/" TAM_RPD_DEFAULT_PLUGIN};
    for (const std::string &c : candidates)
        if (access(c.c_str(), R_OK) == 0) return c;
    return candidates[0];
}

// The live mode `s` asks for; false, reported, when it cannot start. An
// allocation failure ends it with its connections closed (by unwinding), said
// as a failure of the run, and the summary still comes.
bool RunLive(const Settings &s, const EncodeJob &job, Run &run) {
    std::string err;
    bool ok = true;
    const char *name = s.mode == Mode::Listen ? "listen" : s.mode == Mode::Speak ? "speak" : "bmp";
    try {
        switch (s.mode) {
            case Mode::Listen: ok = Listen(s.live.link, run, err); break;
            case Mode::Speak: ok = Speak(s.live, job, run, err); break;
            case Mode::Bmp: ok = BmpStation(s.live.link, run, err); break;
            default: break;
        }
    } catch (const std::bad_alloc &) {
        run.OutOfMemory(name, "the sessions are closed and the mode stops (what came before is counted)");
        return true;
    }
    if (!ok) std::fprintf(stderr, "rpd-host: %s: %s\n", name, err.c_str());
    return ok;
}

void ReadFiles(const Settings &s, Run &run) {
    for (const std::string &f : s.files) {
        if (!run.Flush()) return;  // the output is lost: reading on is for nothing
        if (f == "-") {
            run.File("stdin", stdin, s.input);
            continue;
        }
        FILE *in = std::fopen(f.c_str(), "rb");
        if (in == nullptr) {
            run.Unreadable(f, std::strerror(errno));  // reported; the other inputs still count
            continue;
        }
        struct stat st {};
        const uint64_t size = fstat(fileno(in), &st) == 0 && S_ISREG(st.st_mode) ? static_cast<uint64_t>(st.st_size) : 0;
        run.File(f, in, s.input, size);
        std::fclose(in);
    }
}

// consume --json or --table with no filter and no --verify: the records as
// they were published need no plug-in.
bool Passthrough(const Settings &s) {
    return (s.table || s.output == OutputMode::Json) && !s.filter.Any() && !s.verify;
}

bool Servers(Settings &s) {
    std::string err;
    if (ParseServers(s.files[0], s.consume.servers, err)) return true;
    std::fprintf(stderr, "rpd-host: consume: %s\n", err.c_str());
    return false;
}

// consume: the stream's records as they were published, one per line, or the table they make.
int ConsumeCommand(Settings &s) {
    InstallStopSignals();
    std::string err;
    RouteTable table(s.tableAt);
    std::string line;
    const bool ok = Consume(s.consume, [&](std::string_view r) {
        if (!s.table) {
            std::fwrite(r.data(), 1, r.size(), stdout);
            std::fputc('\n', stdout);
            return;
        }
        line.assign(r);
        table.Put({"", {}}, line);  // the table reads the record's type itself
    }, err);
    if (!ok) std::fprintf(stderr, "rpd-host: consume: %s\n", err.c_str());
    if (s.table) table.Print(stdout, s.output == OutputMode::Json);
    if (std::fflush(stdout) != 0 || std::ferror(stdout)) return 1;
    return ok ? 0 : 1;
}

// consume otherwise: the records through the plug-in again, into the run.
bool ConsumeRecords(Settings &s, Run &run) {
    InstallStopSignals();
    RecordReplay replay(run);
    std::string err;
    const bool ok = Consume(s.consume, [&](std::string_view r) { replay.Put(r); }, err);
    replay.Finish();
    if (!ok) std::fprintf(stderr, "rpd-host: consume: %s\n", err.c_str());
    return ok;
}

// How long the records still unacknowledged at the end may take.
constexpr int64_t kPublishFlushMs = 10000;

// The end of publishing: every record acknowledged, or said how many are not.
bool FinishPublishing(NatsPublisher &p, const Settings &s) {
    const uint64_t left = p.Finish(kPublishFlushMs);
    const PublishCounts c = p.Counts();
    if (left > 0) {
        std::fprintf(stderr,
                     "rpd-host: publish: %llu of %llu records not acknowledged within %lld s: they may be missing "
                     "from stream %s\n",
                     static_cast<unsigned long long>(left), static_cast<unsigned long long>(c.published),
                     static_cast<long long>(kPublishFlushMs / 1000), s.publish.stream.c_str());
        return false;
    }
    if (s.summary)
        std::fprintf(stderr, "rpd-host: published %llu records to stream %s (%llu messages sent again after a lost acknowledgement)\n",
                     static_cast<unsigned long long>(c.published), s.publish.stream.c_str(),
                     static_cast<unsigned long long>(c.republished));
    return true;
}

std::string HostName() {
    char name[256] = "";
    if (gethostname(name, sizeof(name) - 1) != 0 || name[0] == '\0') return "station";
    return name;
}

}  // namespace

int main(int argc, char **argv) {
    // A report runs to about 1 KB a route: to a file or a pipe it goes out in
    // large writes, not stdio's 4 KiB ones. A terminal keeps its line
    // buffering; the live modes flush whenever they wait.
    static char outBuffer[1 << 16];
    if (isatty(1) == 0) std::setvbuf(stdout, outBuffer, _IOFBF, sizeof(outBuffer));
    Settings s;
    s.progress = isatty(2) != 0;
    const int rc = ParseArgs(argc, argv, s);
    if (rc >= 0) return rc;
    const Mode mode = s.mode;
    if (mode == Mode::Consume && !Servers(s)) return 2;
    if (mode == Mode::Consume && Passthrough(s)) return ConsumeCommand(s);
    EncodeJob job;
    if (mode == Mode::Speak) job.senderAs = s.live.link.speaker.localAs;
    if (mode == Mode::Speak || mode == Mode::Encode)
        if (const int loaded = LoadJob(s.files[0], job); loaded != 0) return mode == Mode::Speak ? 2 : loaded;

    Plugin plugin;
    const bool needPlugin = mode != Mode::Encode || !s.unchecked;
    const std::string path = s.plugin.empty() ? DefaultPluginPath() : s.plugin;
    std::string err;
    if (needPlugin && !plugin.Load(path, err)) {
        std::fprintf(stderr, "rpd-host: %s: %s\n", path.c_str(), err.c_str());
        return 2;
    }
    if ((mode == Mode::Speak || mode == Mode::Encode) && !s.unchecked)
        if (const int checked = CheckJob(plugin, job, s.files[0]); checked != 0) return checked;
    if (mode == Mode::Encode) return EncodeCommand(s, job);
    RunOptions ro;
    ro.output = s.output;
    ro.verify = s.verify;
    ro.progress = s.progress;
    ro.walk = s.walk;
    ro.filter = s.filter;
    std::unique_ptr<NatsPublisher> publisher;
    if (!s.publish.servers.empty()) {
        if (s.station.empty()) s.station = HostName();
        s.publish.station = s.station;
        // A station starts without its server, as routers will not wait for
        // one; a replay of files has nothing to lose by saying so at once.
        s.publish.patient = mode != Mode::Files;
        publisher = std::make_unique<NatsPublisher>();
        if (!publisher->Open(s.publish, err)) {
            std::fprintf(stderr, "rpd-host: publish: %s\n", err.c_str());
            return 2;
        }
        if (!publisher->StreamReady())
            std::fprintf(stderr,
                         "rpd-host: publish: no NATS server answers yet; up to %lld records wait for one, then "
                         "reading from the routers waits too\n",
                         static_cast<long long>(s.publish.window));
        ro.publish = publisher.get();
    }
    ro.station = s.station;
    RouteTable table(s.tableAt);
    if (s.table) ro.records = &table;
    Run run(plugin, ro, stdout, stderr);
    if (mode == Mode::Files) ReadFiles(s, run);
    else if (mode == Mode::Consume && !ConsumeRecords(s, run)) return 1;
    else if (mode != Mode::Consume && !RunLive(s, job, run)) return 1;
    if (s.summary) run.Finish();
    if (s.table) table.Print(stdout, s.output == OutputMode::Json);
    if (s.summary) {
        run.Flush();  // before the summary, which may go to stderr
        PrintSummary(s.output == OutputMode::Json ? stderr : stdout, run.summary());
    }
    const bool published = publisher == nullptr || FinishPublishing(*publisher, s);
    if (!run.Delivered() || !published) return 1;
    return run.summary().Failed() ? 1 : 0;
}
