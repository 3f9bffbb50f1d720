#include "options.h"

#include <algorithm>
#include <cstring>

#include "option_table.h"

namespace rpdhost {

namespace {

int UsageError(const std::string &what) {
    std::fprintf(stderr, "rpd-host: %s\nTry 'rpd-host --help'.\n", what.c_str());
    return 2;
}

// The options of this name, for whichever modes take them.
std::vector<const Option *> Named(const std::string &name) {
    std::vector<const Option *> out;
    for (const Option &o : Options())
        if (name == o.name || (o.alias != nullptr && name == o.alias)) out.push_back(&o);
    return out;
}

// The mode's word on the command line ("" for reading files).
const char *ModeName(Mode m) {
    switch (m) {
        case Mode::Files: return "";
        case Mode::Listen: return "listen";
        case Mode::Speak: return "speak";
        case Mode::Bmp: return "bmp";
        case Mode::Encode: return "encode";
        case Mode::Consume: return "consume";
    }
    return "";
}

std::string Command(Mode m) { return m == Mode::Files ? "rpd-host" : std::string("rpd-host ") + ModeName(m); }

// What the mode needs besides its options: how many files it reads.
int CheckFiles(Mode mode, const Settings &s) {
    switch (mode) {
        case Mode::Files:
            if (s.files.empty()) return UsageError("no input file (use - for standard input)");
            break;
        case Mode::Speak:
            if (s.files.size() != 1) return UsageError("speak needs one policy description file");
            break;
        case Mode::Encode:
            if (s.files.empty()) return UsageError("encode needs a policy description file");
            if (s.files.size() > 1) return UsageError("unexpected argument " + s.files[1]);
            break;
        case Mode::Listen:
        case Mode::Bmp:
            if (!s.files.empty()) return UsageError(std::string(ModeName(mode)) + " reads no files: " + s.files[0]);
            break;
        case Mode::Consume:
            if (s.files.size() != 1) return UsageError("consume needs the servers: nats://HOST:PORT[,nats://HOST:PORT...]");
            break;
    }
    if (s.table && s.output != OutputMode::Text && s.output != OutputMode::Json)
        return UsageError("--table shows the routes as text or, with --json, as JSON records");
    if (!s.tableAt.empty() && !s.table) return UsageError("--at goes with --table");
    if (mode != Mode::Consume && s.streamGiven && s.publish.servers.empty())
        return UsageError("--stream, --subject and --replicas go with --publish");
    return -1;
}

}  // namespace

namespace {

bool ModeNamed(const std::string &word, Mode &m) {
    for (const Mode c : {Mode::Listen, Mode::Speak, Mode::Bmp, Mode::Encode, Mode::Consume})
        if (word == ModeName(c)) {
            m = c;
            return true;
        }
    return false;
}

// The mode of the command line and where its word stands (0: none, reading files).
Mode Find(int argc, char **argv, int &at) {
    at = 0;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--") break;
        if (a.size() > 1 && a[0] == '-') {
            const std::vector<const Option *> named = Named(a);
            if (!named.empty() && named.front()->value != nullptr) ++i;  // its value
            continue;
        }
        Mode m = Mode::Files;
        if (ModeNamed(a, m)) at = i;
        return m;
    }
    return Mode::Files;
}

// The commands that take an option: "rpd-host listen, speak and bmp", or
// "rpd-host and its listen mode" when reading files takes it too.
std::string Commands(const std::vector<const Option *> &named) {
    auto takes = [&](Mode m) {
        return std::any_of(named.begin(), named.end(),
                           [&](const Option *o) { return (o->modes & static_cast<unsigned>(m)) != 0; });
    };
    std::vector<std::string> modes;
    for (const Mode m : {Mode::Listen, Mode::Speak, Mode::Bmp, Mode::Encode, Mode::Consume})
        if (takes(m)) modes.push_back(ModeName(m));
    std::string list;
    for (size_t i = 0; i < modes.size(); ++i) list += (i == 0 ? "" : i + 1 == modes.size() ? " and " : ", ") + modes[i];
    if (!takes(Mode::Files)) return "rpd-host " + list;
    return modes.empty() ? "rpd-host" : "rpd-host and its " + list + (modes.size() > 1 ? " modes" : " mode");
}

}  // namespace

int ParseArgs(int argc, char **argv, Settings &s) {
    int modeAt = 0;
    const Mode mode = s.mode = Find(argc, argv, modeAt);
    if (mode == Mode::Bmp) s.live.link.port = kStationPort;
    std::vector<const Option *> given;  // for the conflicts of grouped options
    bool optionsEnded = false;
    for (int i = 1; i < argc; ++i) {
        if (i == modeAt) continue;
        const std::string a = argv[i];
        if (optionsEnded || a == "-" || a.empty() || a[0] != '-') {
            s.files.push_back(a);
            continue;
        }
        if (a == "--") {
            optionsEnded = true;
            continue;
        }
        const std::vector<const Option *> named = Named(a);
        if (named.empty()) return UsageError("unknown option " + a);
        const char *value = nullptr;
        if (named.front()->value != nullptr) {
            if (i + 1 >= argc) return UsageError("option " + a + " needs a value");
            value = argv[++i];
        }
        const auto it = std::find_if(named.begin(), named.end(),
                                     [&](const Option *o) { return (o->modes & static_cast<unsigned>(mode)) != 0; });
        if (it == named.end()) return UsageError(a + " is an option of " + Commands(named) + ", not of " + Command(mode));
        const Option &o = **it;
        if (o.group != nullptr)
            for (const Option *g : given)
                if (g->group != nullptr && std::strcmp(g->group, o.group) == 0 && g != &o)
                    return UsageError(std::string(g->name) + " and " + o.name + " cannot be used together");
        given.push_back(&o);
        std::string err;
        if (o.apply == nullptr) {  // --help and --version
            if (std::strcmp(o.name, "--version") == 0) std::printf("rpd-host %s\n", TAM_RPD_TOOL_VERSION);
            else PrintUsage(stdout);
            return 0;
        }
        if (!o.apply(s, value, err)) return UsageError(err);
    }
    return CheckFiles(mode, s);
}

}  // namespace rpdhost
