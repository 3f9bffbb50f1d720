// --help: the prose of each mode, and every option listed from the option table.
#include <string>

#include "option_table.h"

namespace rpdhost {

namespace {

constexpr size_t kHelpColumn = 21, kWidth = 80;

const char kHead[] =
    "usage: rpd-host [OPTIONS] FILE...\n"
    "       rpd-host listen [OPTIONS] [LIVE OPTIONS]\n"
    "       rpd-host speak (--connect ADDR | --bind ADDR) [OPTIONS] [LIVE OPTIONS]\n"
    "                      POLICY.json\n"
    "       rpd-host bmp [OPTIONS] [LIVE OPTIONS]\n"
    "       rpd-host encode [--format FMT] [--output FILE] [--unchecked] POLICY.json\n"
    "       rpd-host consume [OPTIONS] [--table [--at TIME]] [PUBLISH OPTIONS]\n"
    "                        nats://HOST:PORT[,...]\n"
    "\n"
    "Decodes the BGP Routing Policy Distribution routes (AFI 1, SAFI 75) of BGP\n"
    "messages through the RPD plug-in, as a BGP process would: MP_REACH_NLRI and\n"
    "MP_UNREACH_NLRI NLRIs become route keys, the Wide Community attribute the\n"
    "route's policy, and both are printed with the plug-in's own texts.\n"
    "\n"
    "FILE (- for standard input) is one of, told apart by its content:\n"
    "  pcap, pcapng   captures of BGP and BMP over TCP (Ethernet, VLAN, Linux cooked\n"
    "                 v1/v2, loopback, raw IP; pcapng interfaces may differ);\n"
    "                 IPv4/IPv6 fragments are reassembled, each TCP direction is put\n"
    "                 back in order and read as BGP or BMP by its port, and a\n"
    "                 stream that starts mid-message or lost bytes resumes at the\n"
    "                 next header\n"
    "  BMP            a monitoring stream (RFC 7854): the UPDATEs of route monitoring\n"
    "                 and the messages of route mirroring, with peer up and down,\n"
    "                 statistics, initiation and termination as events\n"
    "  MRT            BGP4MP and BGP4MP_ET messages (also _LOCAL and ADD-PATH) and\n"
    "                 state changes; TABLE_DUMP_V2 RIB dumps (all RIB subtypes,\n"
    "                 ADD-PATH too) with their peer index; TABLE_DUMP\n"
    "  raw            BGP messages back to back\n"
    "  hex text       plain, 0x-prefixed, colon- or comma-separated bytes, xxd,\n"
    "                 hexdump -C or tshark hex dumps; # comments; a message may\n"
    "                 start with its 16-byte marker or directly with its length\n"
    "Each may be compressed with gzip, bzip2, xz or zstd (told by its magic number,\n"
    "decompressed as it is read).\n";

const char kSkips[] =
    "Nothing is passed over unsaid. The summary counts, by reason, what was\n"
    "skipped as not ours to read (other protocols, ports, record types, address\n"
    "families) and what was damaged (malformed, cut or lost data: bad IP or TCP\n"
    "headers, gaps in a capture, bytes that start no BGP or BMP message,\n"
    "unsupported link types, fragments that never completed, broken records). Each\n"
    "problem is also reported on stderr with the file, message number, offset,\n"
    "frame and stream. An input that yields no BGP message gets a warning; BGP or\n"
    "BMP seen on another port gets a hint.\n";

const char kLiveModes[] =
    "listen: a passive BGP speaker. Offers AFI 1 / SAFI 75 and IPv4 unicast, 4-octet\n"
    "AS and route refresh, and decodes every UPDATE as above (same output options\n"
    "and filters). A peer that breaks the protocol gets the NOTIFICATION RFC 4271\n"
    "prescribes and is closed; the others go on. Runs until SIGINT or SIGTERM (open\n"
    "sessions get a Cease), --duration or --sessions.\n"
    "\n"
    "speak: an RPD controller for testing a router. Once the session is up it\n"
    "announces the UPDATEs of POLICY.json (encode's format, sent as the AS of\n"
    "--local-as), when the peer offers AFI 1 / SAFI 75 or with --force. SIGUSR1 or\n"
    "\"withdraw\" on standard input withdraws them, SIGUSR2 or \"announce\" sends them\n"
    "again, \"quit\", SIGINT or SIGTERM withdraws them and ends the session with a\n"
    "Cease; so does --duration. Everything the peer sends is reported: its UPDATEs\n"
    "decoded, its NOTIFICATION with its text. Exit status 1 when no session was\n"
    "established, or the peer ended it with an error.\n"
    "\n"
    "bmp: a BMP station. Monitored routers connect; each stream is read as a BMP\n"
    "file is, its messages attributed to the router and peer. Runs until SIGINT or\n"
    "SIGTERM, --duration or --sessions.\n";

const char kExit[] =
    "Exit status:\n"
    "  0  every input was read and everything in it decoded (and verified)\n"
    "  1  something was damaged, failed to decode or verify, or an input could not\n"
    "     be opened (the other inputs are still read and the summary printed)\n"
    "  2  usage error, or the plug-in cannot be loaded\n";

// `text` from the help column on, wrapped at the page width.
void Wrapped(std::string &out, const std::string &text) {
    size_t col = kHelpColumn;
    size_t at = 0;
    while (at < text.size()) {
        size_t end = text.find(' ', at);
        if (end == std::string::npos) end = text.size();
        const size_t word = end - at;
        if (col > kHelpColumn && col + 1 + word > kWidth) {
            out += '\n';
            out.append(kHelpColumn, ' ');
            col = kHelpColumn;
        } else if (col > kHelpColumn) {
            out += ' ';
            ++col;
        }
        out.append(text, at, word);
        col += word;
        at = end + 1;
    }
    out += '\n';
}

// The modes that take a live option, when not all of them do: "(listen, speak) ".
std::string LiveModes(unsigned modes) {
    static const std::pair<Mode, const char *> kNames[] = {{Mode::Listen, "listen"}, {Mode::Speak, "speak"}, {Mode::Bmp, "bmp"}};
    std::string names;
    size_t n = 0;
    for (const auto &[m, name] : kNames)
        if (modes & static_cast<unsigned>(m)) names += (n++ == 0 ? "" : ", ") + std::string(name);
    return n == 3 ? "" : "(" + names + ") ";
}

void List(std::string &out, Section section) {
    for (const Option &o : Options()) {
        if (o.section != section) continue;
        std::string head = "  ";
        if (o.alias != nullptr) head += std::string(o.alias) + ", ";
        head += o.name;
        if (o.value != nullptr) head += std::string(" ") + o.value;
        out += head;
        if (head.size() + 1 > kHelpColumn) {
            out += '\n';
            out.append(kHelpColumn, ' ');
        } else {
            out.append(kHelpColumn - head.size(), ' ');
        }
        Wrapped(out, (section == Section::Live ? LiveModes(o.modes) : "") + o.help);
    }
}

}  // namespace

void PrintUsage(FILE *out) {
    std::string s = kHead;
    s += "\nOptions:\n";
    List(s, Section::Input);
    s += "\nOutput (one of):\n";
    s += "  (default)          a heading per message, a line per route, the policy as\n"
         "                     labelled lines, one item each\n";
    List(s, Section::Output);
    s += "\nFilters (repeat a filter to allow several values):\n";
    List(s, Section::Filters);
    s += "\nOther options:\n";
    List(s, Section::Other);
    s += "  --                 what follows is a file, even if it starts with -\n\n";
    s += kSkips;
    s += '\n';
    s += kLiveModes;
    s += "\nLive options:\n";
    List(s, Section::Live);
    s += "\nPublishing: a station (bmp, listen, or rpd-host replaying files) publishes\n"
         "its records to NATS JetStream with --publish; consume reads them back in\n"
         "stream order and ends at the end of the stream. With --json (or --table) it\n"
         "prints them as published; other outputs, --verify and the filters decode\n"
         "each message again, encoded back from its records.\n";
    List(s, Section::Publish);
    s += "\nencode: builds one BGP UPDATE per entry of POLICY.json's \"updates\" (see\n"
         "samples/*.json) and writes them to the output.\n";
    List(s, Section::Encode);
    s += '\n';
    s += kExit;
    std::fputs(s.c_str(), out);
}

}  // namespace rpdhost
