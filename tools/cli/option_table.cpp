#include "option_table.h"

#include <arpa/inet.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "net.h"
#include "textual.h"

namespace rpdhost {

namespace {

constexpr unsigned kFiles = static_cast<unsigned>(Mode::Files), kListen = static_cast<unsigned>(Mode::Listen),
                   kSpeak = static_cast<unsigned>(Mode::Speak), kBmp = static_cast<unsigned>(Mode::Bmp),
                   kEncode = static_cast<unsigned>(Mode::Encode), kConsume = static_cast<unsigned>(Mode::Consume);
constexpr unsigned kLive = kListen | kSpeak | kBmp;
constexpr unsigned kDecoding = kFiles | kLive;  // the modes that decode what they read
constexpr unsigned kAll = kDecoding | kEncode | kConsume;
constexpr unsigned kPublishing = kFiles | kListen | kBmp;  // the modes that can publish what they decode

bool Fail(std::string &err, std::string what) {
    err = std::move(what);
    return false;
}

// A whole unsigned number (decimal, 0x hex or 0 octal) of at least `min` and at most `max`.
bool Number(const char *text, unsigned long min, unsigned long max, unsigned long &v) {
    char *end = nullptr;
    errno = 0;
    v = std::strtoul(text, &end, 0);
    return *text != '\0' && *text != '-' && *end == '\0' && errno == 0 && v >= min && v <= max;
}

// A size in bytes: a whole number with an optional K, M or G (binary: 1K is 1024 bytes), at least `min`.
bool Size(const char *text, uint64_t min, uint64_t &bytes) {
    char *end = nullptr;
    errno = 0;
    const unsigned long long v = std::strtoull(text, &end, 10);
    if (*text < '0' || *text > '9' || errno != 0) return false;
    const char unit = static_cast<char>(std::toupper(static_cast<unsigned char>(*end)));
    const int shift = unit == 'K' ? 10 : unit == 'M' ? 20 : unit == 'G' ? 30 : 0;
    if ((unit != '\0' && shift == 0) || (shift != 0 && end[1] != '\0')) return false;
    if (v > (uint64_t{1} << 40 >> shift)) return false;  // at most 1 TiB
    bytes = static_cast<uint64_t>(v) << shift;
    return bytes >= min;
}

// A UTC time as nanoseconds since 1970: "2026-12-08T10:00:00Z" (a fraction
// of a second allowed), or whole seconds since 1970.
bool ParseSince(const char *text, int64_t &ns) {
    unsigned long secs = 0;
    if (Number(text, 1, 253402300799ul, secs)) {  // up to the year 9999
        ns = static_cast<int64_t>(secs) * 1000000000;
        return true;
    }
    int64_t sec = 0;
    uint32_t usec = 0;
    if (!ParseTimeText(text, sec, usec) || sec <= 0) return false;
    ns = sec * 1000000000 + int64_t{usec} * 1000;
    return true;
}

bool Port(const char *value, const char *option, uint16_t &port, std::string &err) {
    unsigned long v = 0;
    if (!Number(value, 1, 65535, v)) return Fail(err, std::string(option) + " needs a port from 1 to 65535");
    port = static_cast<uint16_t>(v);
    return true;
}

// A capture port of one protocol. The first given replaces the defaults; a
// default port of the other protocol gives way, one given for both is refused.
bool CapturePort(Settings &s, const char *value, bool bmp, std::string &err) {
    uint16_t port = 0;
    if (!Port(value, bmp ? "--bmp-port" : "--port", port, err)) return false;
    std::vector<uint16_t> &mine = bmp ? s.input.capture.bmpPorts : s.input.capture.bgpPorts;
    std::vector<uint16_t> &other = bmp ? s.input.capture.bgpPorts : s.input.capture.bmpPorts;
    bool &given = bmp ? s.bmpPortGiven : s.bgpPortGiven;
    if (std::find(other.begin(), other.end(), port) != other.end()) {
        if (bmp ? s.bgpPortGiven : s.bmpPortGiven)
            return Fail(err, "--port and --bmp-port both name port " + std::to_string(port));
        std::erase(other, port);
    }
    if (!given) mine.clear();
    given = true;
    mine.push_back(port);
    return true;
}

// An IPv4 or IPv6 address, kept in the form the live modes write a peer's address in (so that "2001:db8::0:1"
// matches).
bool Address(const char *text, std::string &out) {
    sockaddr_storage sa{};
    socklen_t len = 0;
    if (!SocketAddress(text, 0, sa, len)) return false;
    out = SocketText(sa, false);
    return true;
}

bool Output(Settings &s, OutputMode m) {
    s.output = m;
    return true;
}

const std::vector<Option> kOptions = {
    // Input.
    {"--plugin", nullptr, "PATH", kAll, Section::Input, nullptr,
     "plug-in to load (default: " TAM_RPD_DEFAULT_PLUGIN " beside rpd-host, else in the library directory of its "
     "install)",
     [](Settings &s, const char *v, std::string &) { return s.plugin = v, true; }},
    {"--format", nullptr, "FMT", kDecoding, Section::Input, nullptr,
     "input format: auto (default), hex, raw, mrt, bmp or pcap (pcap also reads pcapng)",
     [](Settings &s, const char *v, std::string &err) {
         return ParseInputFormat(v, s.input.format) || Fail(err, std::string("unknown input format ") + v);
     }},
    {"--port", nullptr, "N", kFiles, Section::Input, nullptr,
     "TCP port that carries BGP in captures; repeat for several (default 179; the first --port replaces it)",
     [](Settings &s, const char *v, std::string &err) { return CapturePort(s, v, false, err); }},
    {"--bmp-port", nullptr, "N", kFiles, Section::Input, nullptr,
     "TCP port a BMP station listens on in captures; repeat for several (default 1790; the first --bmp-port "
     "replaces it)",
     [](Settings &s, const char *v, std::string &err) { return CapturePort(s, v, true, err); }},
    {"--capture-memory", nullptr, "SIZE", kFiles, Section::Input, nullptr,
     "memory that capture reassembly may hold (segments behind gaps, fragments, partly read messages, with their "
     "bookkeeping; default 64M); beyond it the oldest held data gives way, counted",
     [](Settings &s, const char *v, std::string &err) {
         uint64_t n = 0;
         if (!Size(v, 1u << 20, n)) return Fail(err, std::string("--capture-memory needs a size of at least 1M, such as 256M: ") + v);
         s.input.capture.memory = static_cast<size_t>(n);
         return true;
     }},
    // Output.
    {"--plugin-text", nullptr, nullptr, kDecoding | kConsume, Section::Output, "output", "the plug-in's own composite texts, as they come",
     [](Settings &s, const char *, std::string &) { return Output(s, OutputMode::PluginText); }},
    {"--display", nullptr, nullptr, kDecoding | kConsume, Section::Output, "output", "each display piece of a policy under its name",
     [](Settings &s, const char *, std::string &) { return Output(s, OutputMode::Display); }},
    {"--json", nullptr, nullptr, kDecoding | kConsume, Section::Output, "output",
     "one JSON record per line: route, policy, event, problem, summary (docs/rpd-host.schema.json); the text "
     "summary goes to stderr. The output is valid input for encode.",
     [](Settings &s, const char *, std::string &) { return Output(s, OutputMode::Json); }},
    {"--quiet", nullptr, nullptr, kDecoding | kConsume, Section::Output, "output", "no routes, only problems and the summary",
     [](Settings &s, const char *, std::string &) { return Output(s, OutputMode::None); }},
    {"--table", nullptr, nullptr, kDecoding | kConsume, Section::Output, nullptr,
     "instead of the records as they come, the RPD routes in force at the end: for each router, peer and route "
     "key, the policy that stands (an announcement sets it, a withdrawal removes it, a peer's session or a "
     "router's stream ending removes theirs); as text, or with --json as one \"table_route\" record each",
     [](Settings &s, const char *, std::string &) { return s.table = true; }},
    {"--at", nullptr, "TIME", kDecoding | kConsume, Section::Output, nullptr,
     "with --table: the routes in force at TIME (2026-12-08T10:00:00Z, or seconds since 1970), by the records' times",
     [](Settings &s, const char *v, std::string &err) {
         int64_t ns = 0;
         if (!ParseSince(v, ns)) return Fail(err, std::string("--at needs a UTC time such as 2026-12-08T10:00:00Z: ") + v);
         s.tableAt = TimeText(ns / 1000000000, static_cast<uint32_t>(ns % 1000000000 / 1000));
         return true;
     }},
    // Filters.
    {"--peer", nullptr, "ADDR", kDecoding | kConsume, Section::Filters, nullptr,
     "routes whose key names this peer address",
     [](Settings &s, const char *v, std::string &err) {
         in_addr addr;
         if (inet_pton(AF_INET, v, &addr) != 1) return Fail(err, std::string("--peer needs an IPv4 address: ") + v);
         s.filter.peers.push_back(ntohl(addr.s_addr));
         return true;
     }},
    {"--distinguisher", nullptr, "N", kDecoding | kConsume, Section::Filters, nullptr, "routes with this distinguisher",
     [](Settings &s, const char *v, std::string &err) {
         unsigned long n = 0;
         if (!Number(v, 0, 0xFFFFFFFFul, n)) return Fail(err, "--distinguisher needs a number from 0 to 4294967295");
         s.filter.distinguishers.push_back(static_cast<uint32_t>(n));
         return true;
     }},
    {"--community", nullptr, "C", kDecoding | kConsume, Section::Filters, nullptr,
     "announcements whose policy is MATCH_AND_SET or MATCH_AND_NOADV",
     [](Settings &s, const char *v, std::string &err) {
         std::string c = v;
         for (char &ch : c)
             ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch == '_' || ch == '-' ? ' ' : ch)));
         if (c == "MATCH AND SET") s.filter.community = rpdwire::kMatchAndSet;
         else if (c == "MATCH AND NOADV") s.filter.community = rpdwire::kMatchAndNoAdv;
         else return Fail(err, "--community needs MATCH_AND_SET or MATCH_AND_NOADV");
         return true;
     }},
    // Other options.
    {"--verify", nullptr, nullptr, kDecoding | kConsume, Section::Other, nullptr,
     "format every route back through the packet, BGPI, HA, attribute and configuration callbacks, decode it "
     "again and report any byte or order difference; write each policy again from its fields and warn where the "
     "received bytes take a freedom of the format",
     [](Settings &s, const char *, std::string &) { return s.verify = true, true; }},
    {"--wide-community-code", nullptr, "N", kDecoding, Section::Other, nullptr,
     "path attribute code of the Wide Community attribute (default 129)",
     [](Settings &s, const char *v, std::string &err) {
         unsigned long n = 0;
         if (!Number(v, 1, 255, n)) return Fail(err, "--wide-community-code needs a code from 1 to 255");
         s.walk.wcCode = static_cast<uint8_t>(n);
         return true;
     }},
    {"--no-summary", nullptr, nullptr, kDecoding | kConsume, Section::Other, nullptr, "do not print the summary",
     [](Settings &s, const char *, std::string &) { return s.summary = false, true; }},
    {"--progress", nullptr, nullptr, kAll, Section::Other, nullptr,
     "progress line on stderr (default: when stderr is a terminal)",
     [](Settings &s, const char *, std::string &) { return s.progress = true, true; }},
    {"--no-progress", nullptr, nullptr, kAll, Section::Other, nullptr, "no progress line",
     [](Settings &s, const char *, std::string &) { return s.progress = false, true; }},
    {"--version", nullptr, nullptr, kAll, Section::Other, nullptr, "print the version", nullptr},
    {"--help", "-h", nullptr, kAll, Section::Other, nullptr, "print this help", nullptr},
    // The live modes.
    {"--bind", nullptr, "ADDR", kLive, Section::Live, nullptr,
     "address to listen on (default 0.0.0.0); speak --connect: the local address to connect from",
     [](Settings &s, const char *v, std::string &err) {
         return Address(v, s.live.link.bind) || Fail(err, std::string("--bind needs an IPv4 or IPv6 address: ") + v);
     }},
    {"--port", nullptr, "N", kLive, Section::Live, nullptr,
     "port to listen on, or speak's to connect to (default 179; bmp: 11019)",
     [](Settings &s, const char *v, std::string &err) { return Port(v, "--port", s.live.link.port, err); }},
    {"--connect", nullptr, "ADDR", kSpeak, Section::Live, nullptr,
     "the peer to connect to (retried every 5 s); without it, speak accepts one peer",
     [](Settings &s, const char *v, std::string &err) {
         return Address(v, s.live.connect) || Fail(err, std::string("--connect needs an IPv4 or IPv6 address: ") + v);
     }},
    {"--local-as", nullptr, "N", kListen | kSpeak, Section::Live, nullptr, "our AS number (default 65000)",
     [](Settings &s, const char *v, std::string &err) {
         unsigned long n = 0;
         if (!Number(v, 1, 0xFFFFFFFFul, n)) return Fail(err, "--local-as needs an AS number from 1 to 4294967295");
         s.live.link.speaker.localAs = static_cast<uint32_t>(n);
         return true;
     }},
    {"--router-id", nullptr, "A", kListen | kSpeak, Section::Live, nullptr, "our BGP identifier (default 127.0.0.1)",
     [](Settings &s, const char *v, std::string &err) {
         in_addr id;
         if (inet_pton(AF_INET, v, &id) != 1 || id.s_addr == 0)
             return Fail(err, std::string("--router-id needs a nonzero IPv4 address: ") + v);
         s.live.link.speaker.routerId = ntohl(id.s_addr);
         return true;
     }},
    {"--hold-time", nullptr, "S", kListen | kSpeak, Section::Live, nullptr, "the hold time we offer (default 90)",
     [](Settings &s, const char *v, std::string &err) {
         unsigned long n = 0;
         if (!Number(v, 0, 65535, n) || n == 1 || n == 2) return Fail(err, "--hold-time needs 0, or 3 to 65535 seconds");
         s.live.link.speaker.holdTime = static_cast<uint16_t>(n);
         return true;
     }},
    {"--allow", nullptr, "ADDR", kListen, Section::Live, nullptr,
     "a peer allowed to connect; repeat for several (default: any). Others get a NOTIFICATION (Cease, Connection "
     "Rejected)",
     [](Settings &s, const char *v, std::string &err) {
         std::string text;
         if (!Address(v, text)) return Fail(err, std::string("--allow needs an IPv4 or IPv6 address: ") + v);
         s.live.link.allowed.push_back(text);
         return true;
     }},
    {"--force", nullptr, nullptr, kSpeak, Section::Live, nullptr,
     "announce even when the peer did not offer AFI 1 / SAFI 75",
     [](Settings &s, const char *, std::string &) { return s.live.force = true, true; }},
    {"--max-sessions", nullptr, "N", kListen | kBmp, Section::Live, nullptr,
     "connections served at once (default 256); more are refused, listen's with a NOTIFICATION (Cease, Out of "
     "Resources)",
     [](Settings &s, const char *v, std::string &err) {
         unsigned long n = 0;
         if (!Number(v, 1, 100000, n)) return Fail(err, "--max-sessions needs a number from 1 to 100000");
         s.live.link.maxSessions = static_cast<unsigned>(n);
         return true;
     }},
    {"--sessions", nullptr, "N", kListen | kBmp, Section::Live, nullptr, "stop after N sessions have ended",
     [](Settings &s, const char *v, std::string &err) {
         unsigned long n = 0;
         if (!Number(v, 1, 1000000, n)) return Fail(err, "--sessions needs a number from 1 to 1000000");
         s.live.link.stopAfter = static_cast<unsigned>(n);
         return true;
     }},
    {"--duration", nullptr, "S", kLive, Section::Live, nullptr, "stop after S seconds",
     [](Settings &s, const char *v, std::string &err) {
         unsigned long n = 0;
         if (!Number(v, 1, 31536000, n)) return Fail(err, "--duration needs seconds from 1 to 31536000");
         s.live.link.duration = static_cast<double>(n);
         return true;
     }},
    {"--write", nullptr, "FILE", kLive, Section::Live, nullptr,
     "record every message the peers (bmp: the routers) send, as it arrives, for replay with rpd-host FILE",
     [](Settings &s, const char *v, std::string &) { return s.live.link.write = v, true; }},
    {"--write-format", nullptr, "FMT", kLive, Section::Live, nullptr,
     "mrt (BGP4MP_ET with the state changes; the default), pcap or pcapng (one TCP connection per session, the "
     "listening side on port 179, bmp's on 1790, so that it replays with no option; the default for a FILE ending "
     "in .pcap or .pcapng). bmp records pcap or pcapng only",
     [](Settings &s, const char *v, std::string &err) {
         Recorder::Format f = Recorder::Format::Mrt;
         if (!Recorder::ParseFormat(v, f)) return Fail(err, "--write-format needs mrt, pcap or pcapng");
         s.live.link.writeFormat = f;
         return true;
     }},
    {"--write-rotate", nullptr, "SIZE|SECONDS", kLive, Section::Live, nullptr,
     "start a new --write file when it reaches SIZE (with K, M or G, such as 100M) or every SECONDS (with s or h, "
     "such as 3600s); the files are FILE numbered (rec.000001.mrt, ...), each a whole recording",
     [](Settings &s, const char *v, std::string &err) {
         const std::string text = v;
         const char unit = text.empty() ? '\0' : text.back();
         unsigned long n = 0;
         if (unit == 's' || unit == 'h') {
             if (!Number(text.substr(0, text.size() - 1).c_str(), 1, 31536000, n) || (unit == 'h' && n > 8760))
                 return Fail(err, "--write-rotate needs a time such as 3600s or 24h: " + text);
             s.live.link.writeRotate.seconds = static_cast<double>(n) * (unit == 'h' ? 3600 : 1);
             return true;
         }
         uint64_t bytes = 0;
         if (!Size(v, 1024, bytes) || std::isdigit(static_cast<unsigned char>(unit)))
             return Fail(err, "--write-rotate needs a size such as 100M (at least 1K) or a time such as 3600s: " + text);
         s.live.link.writeRotate.bytes = bytes;
         return true;
     }},
    // Publishing, and consume.
    {"--publish", nullptr, "URLS", kPublishing, Section::Publish, nullptr,
     "publish every record --json would print to a NATS JetStream stream as well, on the servers of URLS "
     "(nats://HOST:PORT, several comma-separated: any of them will do, reconnecting as they come and go)",
     [](Settings &s, const char *v, std::string &err) { return ParseServers(v, s.publish.servers, err); }},
    {"--stream", nullptr, "NAME", kPublishing | kConsume, Section::Publish, nullptr,
     "the JetStream stream (default RPD; created with file storage when absent)",
     [](Settings &s, const char *v, std::string &) {
         s.publish.stream = s.consume.stream = v;
         return s.streamGiven = true;
     }},
    {"--subject", nullptr, "PREFIX", kPublishing | kConsume, Section::Publish, nullptr,
     "subjects are PREFIX.STATION.ROUTER.TYPE (default rpd; ROUTER the BMP router or live peer with '.' and ':' "
     "as '_', or - for none; TYPE route, policy, event, problem or summary). consume reads the subjects of the "
     "PREFIX given, e.g. 'rpd.*.*.route' for the routes only",
     [](Settings &s, const char *v, std::string &) {
         s.publish.subject = s.consume.subjects = v;
         return s.streamGiven = true;
     }},
    {"--replicas", nullptr, "N", kPublishing, Section::Publish, nullptr,
     "replicas of a stream the station creates (default 1; a JetStream cluster keeps up to 5)",
     [](Settings &s, const char *v, std::string &err) {
         unsigned long n = 0;
         if (!Number(v, 1, 5, n)) return Fail(err, "--replicas needs a number from 1 to 5");
         s.publish.replicas = static_cast<int>(n);
         return s.streamGiven = true;
     }},
    {"--station", nullptr, "NAME", kDecoding, Section::Publish, nullptr,
     "name this station in every JSON record (\"station\") and in the subjects it publishes under (default: "
     "the host name when publishing)",
     [](Settings &s, const char *v, std::string &err) {
         if (*v == '\0') return Fail(err, "--station needs a name");
         return s.station = v, true;
     }},
    {"--durable", nullptr, "NAME", kConsume, Section::Publish, nullptr,
     "read through the durable consumer NAME, resuming where it stopped; processes on one durable share the "
     "records, each record going to one of them",
     [](Settings &s, const char *v, std::string &err) {
         if (*v == '\0' || std::strpbrk(v, ". *>") != nullptr) return Fail(err, "--durable needs a name without '.', ' ', '*' or '>'");
         return s.consume.durable = v, true;
     }},
    {"--since", nullptr, "TIME", kConsume, Section::Publish, nullptr,
     "the records stored from TIME on (2026-12-08T10:00:00Z, or seconds since 1970)",
     [](Settings &s, const char *v, std::string &err) {
         return ParseSince(v, s.consume.sinceNs) || Fail(err, std::string("--since needs a UTC time such as 2026-12-08T10:00:00Z: ") + v);
     }},
    {"--follow", nullptr, nullptr, kConsume, Section::Publish, nullptr,
     "at the end of the stream, wait for more records (until SIGINT or SIGTERM)",
     [](Settings &s, const char *, std::string &) { return s.consume.follow = true, true; }},
    // encode.
    {"--format", nullptr, "FMT", kEncode, Section::Encode, nullptr,
     "hex (default), raw, mrt (BGP4MP_MESSAGE_AS4) or pcap",
     [](Settings &s, const char *v, std::string &err) {
         return rpdwire::ParseFileFormat(v, s.encodeFormat) || Fail(err, std::string("unknown output format ") + v);
     }},
    {"--output", "-o", "FILE", kEncode, Section::Encode, nullptr, "file to write (default: standard output)",
     [](Settings &s, const char *v, std::string &) { return s.encodeOutput = v, true; }},
    {"--unchecked", nullptr, nullptr, kEncode | kSpeak, Section::Encode, nullptr,
     "write (or send) policies the plug-in refuses; without it every policy goes through the plug-in first, and a "
     "refused one is an error that names its rule and byte (speak takes it too)",
     [](Settings &s, const char *, std::string &) { return s.unchecked = true, true; }},
};

}  // namespace

const std::vector<Option> &Options() { return kOptions; }

}  // namespace rpdhost
