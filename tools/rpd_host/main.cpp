// rpd-host: loads libtam_rpd.so as a BGP process would and decodes the RPD
// routes of BGP messages (hex, raw, MRT or pcap) with nothing but the
// callbacks the plug-in installs; `encode` writes such messages.
#include <arpa/inet.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iostream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "bmp_station.h"
#include "encode.h"
#include "host.h"
#include "listen.h"
#include "speak.h"

namespace {

using namespace rpdhost;

const char kUsage[] =
    "usage: rpd-host [OPTIONS] FILE...\n"
    "       rpd-host listen [--bind ADDR] [--port N] [--local-as N] [--router-id A]\n"
    "                       [--hold-time S] [--peer ADDR]... [--write FILE] [OPTIONS]\n"
    "       rpd-host speak (--connect ADDR | --bind ADDR) [--port N] [--local-as N]\n"
    "                      [--router-id A] [--hold-time S] [--force] [OPTIONS]\n"
    "                      POLICY.json\n"
    "       rpd-host bmp [--bind ADDR] [--port N] [OPTIONS]\n"
    "       rpd-host encode [--format FMT] [--output FILE] POLICY.json\n"
    "\n"
    "Decodes the BGP Routing Policy Distribution routes (AFI 1, SAFI 75) of BGP\n"
    "messages through the RPD plug-in, as a BGP process would: MP_REACH_NLRI and\n"
    "MP_UNREACH_NLRI NLRIs become route keys, the Wide Community attribute the\n"
    "route's policy, and both are printed with the plug-in's own texts.\n"
    "\n"
    "FILE (- for standard input) is one of, told apart by its content:\n"
    "  pcap, pcapng   captures of BGP over TCP (Ethernet, VLAN, Linux cooked v1/v2,\n"
    "                 loopback, raw IP; pcapng interfaces may differ); IPv4/IPv6\n"
    "                 fragments are reassembled, each TCP direction is put back in\n"
    "                 order, and a stream that starts mid-message or lost bytes\n"
    "                 resumes at the next BGP header\n"
    "  BMP            a monitoring stream (RFC 7854): the UPDATEs of route monitoring\n"
    "                 and the messages of route mirroring, with peer up and down\n"
    "  MRT            BGP4MP and BGP4MP_ET messages (also _LOCAL and ADD-PATH) and\n"
    "                 state changes; TABLE_DUMP_V2 RIB dumps (all RIB subtypes,\n"
    "                 ADD-PATH too) with their peer index; TABLE_DUMP\n"
    "  raw            BGP messages back to back\n"
    "  hex text       plain, 0x-prefixed, colon- or comma-separated bytes, xxd,\n"
    "                 hexdump -C or tshark hex dumps; # comments; a message may\n"
    "                 start with its 16-byte marker or directly with its length\n"
    "Each may be compressed with gzip, bzip2, xz or zstd (told by its magic number,\n"
    "decompressed as it is read).\n"
    "\n"
    "Options:\n"
    "  --plugin PATH      plug-in to load (default: " TAM_RPD_DEFAULT_PLUGIN " beside rpd-host,\n"
    "                     else in the library directory of its install)\n"
    "  --format FMT       input format: auto (default), hex, raw, mrt, bmp or pcap\n"
    "                     (pcap also reads pcapng)\n"
    "  --port N           TCP port that carries BGP in captures; repeat for several\n"
    "                     (default 179; the first --port replaces it)\n"
    "\n"
    "Output (one of):\n"
    "  (default)          a heading per message, a line per route, the policy as\n"
    "                     labelled lines, one item each\n"
    "  --plugin-text      the plug-in's own composite texts, as they come\n"
    "  --display          each display piece of a policy under its name\n"
    "  --json             one JSON record per line: route, policy, event, problem,\n"
    "                     summary (docs/rpd-host.schema.json); the text summary goes\n"
    "                     to stderr. The output is valid input for encode.\n"
    "  --quiet            no routes, only problems and the summary\n"
    "\n"
    "Filters (repeat a filter to allow several values):\n"
    "  --peer ADDR        routes whose key names this peer address\n"
    "  --distinguisher N  routes with this distinguisher\n"
    "  --community C      announcements whose policy is MATCH_AND_SET or\n"
    "                     MATCH_AND_NOADV\n"
    "\n"
    "Other options:\n"
    "  --verify           format every route back through the packet, BGPI, HA,\n"
    "                     attribute and configuration callbacks, decode it again\n"
    "                     and report any byte or order difference; write each\n"
    "                     policy again from its fields and warn where the\n"
    "                     received bytes take a freedom of the format\n"
    "  --wide-community-code N\n"
    "                     path attribute code of the Wide Community attribute\n"
    "                     (default 129)\n"
    "  --no-summary       do not print the summary\n"
    "  --progress, --no-progress\n"
    "                     progress line on stderr (default: when stderr is a\n"
    "                     terminal)\n"
    "  --version          print the version\n"
    "  --                 what follows is a file, even if it starts with -\n"
    "  -h, --help         print this help\n"
    "\n"
    "Nothing is passed over unsaid. The summary counts, by reason, what was\n"
    "skipped as not ours to read (other protocols, ports, record types, address\n"
    "families) and what was damaged (malformed, cut or lost data: bad IP or TCP\n"
    "headers, gaps in a capture, bytes that start no BGP message, unsupported link\n"
    "types, fragments that never completed, broken records). Each problem is also\n"
    "reported on stderr with the file, message number, offset and stream. An input\n"
    "that yields no BGP message gets a warning; BGP seen on another port gets a hint.\n"
    "\n"
    "listen: a passive BGP speaker. Accepts sessions on --bind ADDR (default\n"
    "0.0.0.0) and --port N (default 179), offers AFI 1 / SAFI 75 and IPv4 unicast,\n"
    "4-octet AS and route refresh as --local-as N (default 65000) with\n"
    "--router-id A (default 127.0.0.1) and --hold-time S (default 90), and decodes\n"
    "every UPDATE as above (same output options and filters; --peer ADDR here\n"
    "allows a peer, repeat for several). A peer that breaks the protocol gets the\n"
    "NOTIFICATION RFC 4271 prescribes and is closed; the others go on. Runs until\n"
    "SIGINT or SIGTERM (open sessions get a Cease), --duration S seconds or\n"
    "--max-sessions N ended sessions. --write FILE records every message the\n"
    "peers send, as it arrives, for replay with rpd-host FILE: MRT BGP4MP_ET\n"
    "(with the state changes), or pcap when FILE ends in .pcap or with\n"
    "--write-format pcap (one TCP connection per session).\n"
    "\n"
    "speak: an RPD controller for testing a router. Connects to --connect ADDR\n"
    "(--port N, default 179; --bind ADDR picks the local address) or, without\n"
    "--connect, accepts one peer on --bind ADDR and --port N. Once the session is\n"
    "up it announces the UPDATEs of POLICY.json (encode's format, sent as the AS\n"
    "of --local-as), when the peer offers AFI 1 / SAFI 75 or with --force. SIGUSR1\n"
    "or \"withdraw\" on standard input withdraws them, SIGUSR2 or \"announce\" sends\n"
    "them again, \"quit\", SIGINT or SIGTERM withdraws them and ends the session\n"
    "with a Cease; so does --duration S. Everything the peer sends is reported:\n"
    "its UPDATEs decoded, its NOTIFICATION with its text. --write records too.\n"
    "Exit status 1 when the peer ended the session with an error.\n"
    "\n"
    "bmp: a BMP station. Monitored routers connect to --bind ADDR (default\n"
    "0.0.0.0) and --port N (default 11019); each stream is read as a BMP file\n"
    "is, its messages attributed to the router and peer. Runs until SIGINT or\n"
    "SIGTERM, --duration S or --max-sessions N closed connections.\n"
    "\n"
    "encode: builds one BGP UPDATE per entry of POLICY.json's \"updates\" (see\n"
    "samples/*.json) and writes them to the output (default: standard output).\n"
    "  --format FMT       hex (default), raw, mrt (BGP4MP_MESSAGE_AS4) or pcap\n"
    "  --output FILE      file to write\n"
    "\n"
    "Exit status:\n"
    "  0  every input was read and everything in it decoded (and verified)\n"
    "  1  something was damaged, failed to decode or verify, or an input could not\n"
    "     be opened (the other inputs are still read and the summary printed)\n"
    "  2  usage error, or the plug-in cannot be loaded\n";

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

int UsageError(const std::string &what) {
    std::fprintf(stderr, "rpd-host: %s\nTry 'rpd-host --help'.\n", what.c_str());
    return 2;
}

// Reads an encode description (a file, or - for standard input). 0 when it is
// read, else reported and the exit status: 2 unreadable, 1 not a description.
int LoadJob(const char *input, EncodeJob &job) {
    std::stringstream text;
    if (std::strcmp(input, "-") == 0) {
        text << std::cin.rdbuf();
    } else {
        std::ifstream f(input);
        if (!f) {
            std::fprintf(stderr, "rpd-host: %s: %s\n", input, std::strerror(errno));
            return 2;
        }
        text << f.rdbuf();
    }
    std::string err;
    if (!BuildFromJson(text.str(), job, err)) {
        std::fprintf(stderr, "rpd-host: %s: %s\n", input, err.c_str());
        return 1;
    }
    return 0;
}

int Encode(int argc, char **argv) {
    rpdwire::FileFormat fmt = rpdwire::FileFormat::Hex;
    const char *output = nullptr;
    const char *input = nullptr;
    for (int i = 2; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "-h" || a == "--help") {
            std::fputs(kUsage, stdout);
            return 0;
        } else if (a == "--format" && i + 1 < argc) {
            if (!rpdwire::ParseFileFormat(argv[++i], fmt)) return UsageError("unknown output format " + a);
        } else if ((a == "--output" || a == "-o") && i + 1 < argc) {
            output = argv[++i];
        } else if (input == nullptr && (a == "-" || a[0] != '-')) {
            input = argv[i];
        } else {
            return UsageError("unexpected argument " + a);
        }
    }
    if (input == nullptr) return UsageError("encode needs a policy description file");
    EncodeJob job;
    if (const int rc = LoadJob(input, job); rc != 0) return rc;
    // A file is written under a temporary name and renamed when whole: a failed encode leaves nothing behind.
    const std::string temp = output == nullptr ? "" : std::string(output) + ".part";
    FILE *out = output == nullptr ? stdout : std::fopen(temp.c_str(), "wb");
    if (out == nullptr) {
        std::fprintf(stderr, "rpd-host: %s: %s\n", output, std::strerror(errno));
        return 2;
    }
    std::string err;
    const bool ok = rpdwire::WriteMessages(out, fmt, job.messages, job.endpoints, job.mss, &err);
    const bool closed = out == stdout ? std::fflush(out) == 0 : std::fclose(out) == 0;
    if (!ok || !closed || (output != nullptr && std::rename(temp.c_str(), output) != 0)) {
        std::fprintf(stderr, "rpd-host: %s: %s\n", output == nullptr ? "stdout" : output,
                     ok ? std::strerror(errno) : err.c_str());
        if (output != nullptr) std::remove(temp.c_str());
        return 1;
    }
    return 0;
}

// A whole unsigned number (decimal, 0x hex or 0 octal) of at most `max`.
bool Number(const char *text, unsigned long max, unsigned long &v) {
    char *end = nullptr;
    errno = 0;
    v = std::strtoul(text, &end, 0);
    return *text != '\0' && *text != '-' && *end == '\0' && errno == 0 && v <= max;
}

// The options of rpd-host listen; true when `a` is one of them (rc: -1, or the exit status).
bool ListenOption(const std::string &a, const char *value, ListenOptions &lo, int &rc) {
    auto number = [&](unsigned long max, unsigned long &v) { return Number(value, max, v); };
    unsigned long v = 0;
    rc = -1;
    if (a == "--bind") {
        lo.bind = value;
    } else if (a == "--port") {
        if (!number(65535, v) || v == 0) rc = UsageError("--port needs a port from 1 to 65535");
        lo.port = static_cast<uint16_t>(v);
    } else if (a == "--local-as") {
        if (!number(0xFFFFFFFFul, v) || v == 0) rc = UsageError("--local-as needs an AS number from 1 to 4294967295");
        lo.speaker.localAs = static_cast<uint32_t>(v);
    } else if (a == "--router-id") {
        in_addr id;
        if (inet_pton(AF_INET, value, &id) != 1 || id.s_addr == 0)
            rc = UsageError(std::string("--router-id needs a nonzero IPv4 address: ") + value);
        lo.speaker.routerId = ntohl(id.s_addr);
    } else if (a == "--hold-time") {
        if (!number(65535, v) || v == 1 || v == 2) rc = UsageError("--hold-time needs 0, or 3 to 65535 seconds");
        lo.speaker.holdTime = static_cast<uint16_t>(v);
    } else if (a == "--peer") {
        // Kept in the form the speaker writes accepted addresses in, so that "2001:db8::0:1" matches.
        unsigned char buf[sizeof(in6_addr)];
        char text[INET6_ADDRSTRLEN] = "";
        const int family = inet_pton(AF_INET, value, buf) == 1    ? AF_INET
                           : inet_pton(AF_INET6, value, buf) == 1 ? AF_INET6
                                                                  : 0;
        if (family == 0) rc = UsageError(std::string("--peer needs an IPv4 or IPv6 address: ") + value);
        else lo.allowed.push_back(inet_ntop(family, buf, text, sizeof(text)));
    } else if (a == "--max-sessions") {
        if (!number(1000000, v) || v == 0) rc = UsageError("--max-sessions needs a number from 1 to 1000000");
        lo.maxSessions = static_cast<unsigned>(v);
    } else if (a == "--duration") {
        if (!number(31536000, v) || v == 0) rc = UsageError("--duration needs seconds from 1 to 31536000");
        lo.duration = static_cast<double>(v);
    } else if (a == "--write") {
        lo.write = value;
    } else if (a == "--write-format") {
        Recorder::Format f = Recorder::Format::Mrt;
        if (!Recorder::ParseFormat(value, f)) rc = UsageError("--write-format needs mrt or pcap");
        lo.writeFormat = f;
    } else {
        return false;
    }
    return true;
}

enum class Mode { Files, Listen, Speak, Bmp };

// Whether `a` is an option of the live mode `m` (its --port is the one it listens or connects on).
bool LiveOptionOf(Mode m, const std::string &a) {
    static const char *const kCommon[] = {"--bind", "--port", "--duration"};
    static const char *const kSession[] = {"--local-as", "--router-id", "--hold-time", "--write", "--write-format"};
    if (m == Mode::Files) return false;
    for (const char *o : kCommon)
        if (a == o) return true;
    if (m == Mode::Listen || m == Mode::Bmp)
        if (a == "--max-sessions") return true;
    if (m == Mode::Listen || m == Mode::Speak)
        for (const char *o : kSession)
            if (a == o) return true;
    return (m == Mode::Listen && a == "--peer") || (m == Mode::Speak && (a == "--connect" || a == "--force"));
}

// Parses the command line of `mode`; returns -1 to go on, else the exit status.
int ParseArgs(Mode m, int argc, char **argv, std::string &plugin, HostOptions &opt, InputOptions &inOpt,
              bool &summary, std::vector<std::string> &files, SpeakOptions &so) {
    bool portGiven = false, optionsEnded = false;
    const char *output = nullptr;  // the output option given, to refuse a second one
    auto setMode = [&](const char *name, OutputMode om) {
        if (output != nullptr && std::strcmp(output, name) != 0)
            return UsageError(std::string(output) + " and " + name + " cannot be used together");
        output = name;
        opt.output = om;
        return -1;
    };
    const auto number = Number;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (optionsEnded || a == "-" || a.empty() || a[0] != '-') {
            files.push_back(a);
            continue;
        }
        static const char *const kWithValue[] = {"--plugin",     "--format",    "--port",     "--wide-community-code",
                                                 "--peer",       "--distinguisher", "--community", "--bind",
                                                 "--local-as",   "--router-id", "--hold-time", "--max-sessions",
                                                 "--duration",   "--write",     "--write-format", "--connect"};
        // (--force takes no value)
        const char *value = nullptr;
        for (const char *o : kWithValue)
            if (a == o) {
                if (i + 1 >= argc) return UsageError("option " + a + " needs a value");
                value = argv[++i];
            }
        unsigned long v = 0;
        int rc = -1;
        if (a == "--") {
            optionsEnded = true;
        } else if (a == "-h" || a == "--help") {
            std::fputs(kUsage, stdout);
            return 0;
        } else if (a == "--version") {
            std::printf("rpd-host %s\n", TAM_RPD_TOOL_VERSION);
            return 0;
        } else if (LiveOptionOf(m, a)) {
            if (a == "--connect") so.connect = value;
            else if (a == "--force") so.force = true;
            else if (ListenOption(a, value, so.link, rc) && rc >= 0) return rc;
        } else if (a != "--port" && a != "--peer" &&
                   (LiveOptionOf(Mode::Listen, a) || LiveOptionOf(Mode::Speak, a) || LiveOptionOf(Mode::Bmp, a))) {
            return UsageError(a + " is not an option of rpd-host" +
                              (m == Mode::Files ? std::string() : std::string(" ") + argv[0]));
        } else if (a == "--plugin") {
            plugin = value;
        } else if (a == "--format") {
            if (!ParseInputFormat(value, inOpt.format)) return UsageError(std::string("unknown input format ") + value);
        } else if (a == "--port") {
            if (!number(value, 65535, v) || v == 0) return UsageError("--port needs a port from 1 to 65535");
            if (!portGiven) inOpt.ports.clear();
            portGiven = true;
            inOpt.ports.push_back(static_cast<uint16_t>(v));
        } else if (a == "--wide-community-code") {
            if (!number(value, 255, v) || v == 0) return UsageError("--wide-community-code needs a code from 1 to 255");
            opt.wcCode = static_cast<uint8_t>(v);
        } else if (a == "--peer") {
            in_addr addr;
            if (inet_pton(AF_INET, value, &addr) != 1) return UsageError(std::string("--peer needs an IPv4 address: ") + value);
            opt.filter.peers.push_back(ntohl(addr.s_addr));
        } else if (a == "--distinguisher") {
            if (!number(value, 0xFFFFFFFFul, v)) return UsageError("--distinguisher needs a number from 0 to 4294967295");
            opt.filter.distinguishers.push_back(static_cast<uint32_t>(v));
        } else if (a == "--community") {
            std::string c = value;
            for (char &ch : c) ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch == '_' || ch == '-' ? ' ' : ch)));
            if (c == "MATCH AND SET") opt.filter.community = 0x90000003u;
            else if (c == "MATCH AND NOADV") opt.filter.community = 0x90000004u;
            else return UsageError("--community needs MATCH_AND_SET or MATCH_AND_NOADV");
        } else if (a == "--display") {
            rc = setMode("--display", OutputMode::Display);
        } else if (a == "--plugin-text") {
            rc = setMode("--plugin-text", OutputMode::PluginText);
        } else if (a == "--json") {
            rc = setMode("--json", OutputMode::Json);
        } else if (a == "--quiet") {
            rc = setMode("--quiet", OutputMode::None);
        } else if (a == "--verify") {
            opt.verify = true;
        } else if (a == "--no-summary") {
            summary = false;
        } else if (a == "--progress") {
            opt.progress = true;
        } else if (a == "--no-progress") {
            opt.progress = false;
        } else {
            return UsageError("unknown option " + a);
        }
        if (rc >= 0) return rc;
    }
    if (m == Mode::Speak) {
        if (files.size() != 1) return UsageError("speak needs one policy description file");
        return -1;
    }
    if (m != Mode::Files) {
        if (!files.empty()) return UsageError(std::string(argv[0]) + " reads no files: " + files[0]);
        return -1;
    }
    if (files.empty()) return UsageError("no input file (use - for standard input)");
    return -1;
}

}  // namespace

int main(int argc, char **argv) {
    if (argc > 1 && std::strcmp(argv[1], "encode") == 0) return Encode(argc, argv);
    const std::string mode = argc > 1 ? argv[1] : "";
    const Mode m = mode == "listen" ? Mode::Listen : mode == "speak" ? Mode::Speak : mode == "bmp" ? Mode::Bmp : Mode::Files;
    const bool speaking = m == Mode::Speak;
    std::string plugin = DefaultPluginPath();
    HostOptions opt;
    opt.progress = m == Mode::Files && isatty(2) != 0;
    InputOptions inOpt;
    SpeakOptions so;
    if (m == Mode::Bmp) so.link.port = kBmpPort;
    bool summary = true;
    std::vector<std::string> files;
    const int rc = m == Mode::Files ? ParseArgs(m, argc, argv, plugin, opt, inOpt, summary, files, so)
                                    : ParseArgs(m, argc - 1, argv + 1, plugin, opt, inOpt, summary, files, so);
    if (rc >= 0) return rc;
    EncodeJob job;
    if (speaking) {
        job.senderAs = so.link.speaker.localAs;
        if (LoadJob(files[0].c_str(), job) != 0) return 2;
        files.clear();
    }

    Plugin p;
    std::string err;
    if (!p.Load(plugin, err)) {
        std::fprintf(stderr, "rpd-host: %s: %s\n", plugin.c_str(), err.c_str());
        return 2;
    }
    const std::unique_ptr<Reporter> reporter = MakeReporter(opt.output, p, stdout);
    Host host(p, opt, *reporter);
    if ((m == Mode::Listen && !Listen(so.link, host, err)) || (speaking && !Speak(so, job, host, err)) ||
        (m == Mode::Bmp && !BmpStation(so.link, host, err))) {
        std::fprintf(stderr, "rpd-host: %s: %s\n", mode.c_str(), err.c_str());
        return 2;
    }
    for (const std::string &f : files) {
        if (f == "-") {
            host.Run("stdin", stdin, inOpt);
            continue;
        }
        FILE *in = std::fopen(f.c_str(), "rb");
        if (in == nullptr) {
            host.Unreadable(f, std::strerror(errno));  // reported; the other inputs still count
            continue;
        }
        struct stat st {};
        const uint64_t size = fstat(fileno(in), &st) == 0 && S_ISREG(st.st_mode) ? static_cast<uint64_t>(st.st_size) : 0;
        host.Run(f, in, inOpt, size);
        std::fclose(in);
    }
    if (summary) {
        host.Finish();
        std::fflush(stdout);
        host.summary().PrintText(opt.output == OutputMode::Json ? stderr : stdout);
    }
    std::fflush(stdout);
    return host.summary().Failed() ? 1 : 0;
}
