// The command line: one table of options (name, value, the modes that take
// it, its group of mutually exclusive options, its help) from which the
// parser, --help and the conflict checks come.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "file_writer.h"
#include "filter.h"
#include "input.h"
#include "modes.h"
#include "nats_consumer.h"
#include "nats_publisher.h"
#include "reporter.h"
#include "route_table.h"
#include "walk.h"

namespace rpdhost {

enum class Mode : unsigned { Files = 1, Listen = 2, Speak = 4, Bmp = 8, Encode = 16, Consume = 32 };

// Everything the command line sets.
struct Settings {
    Mode mode = Mode::Files;
    std::string plugin;  // "" for the default
    InputOptions input;
    OutputMode output = OutputMode::Text;
    bool verify = false;
    bool progress = false;
    bool summary = true;
    WalkOptions walk;
    RouteFilter filter;
    SpeakOptions live;  // listen, speak and bmp: link settings, and speak's own
    rpdwire::FileFormat encodeFormat = rpdwire::FileFormat::Hex;
    std::string encodeOutput;        // "" for standard output
    bool unchecked = false;          // encode and speak: no check of the policies through the plug-in
    std::vector<std::string> files;  // inputs, or the description speak and encode take
    bool bgpPortGiven = false, bmpPortGiven = false;
    std::string station;       // --station ("": none; the host name when publishing)
    PublishOptions publish;    // --publish and its settings (no servers: not publishing)
    bool streamGiven = false;  // --stream, --subject or --replicas: they need --publish
    ConsumeOptions consume;    // consume
    bool table = false;        // --table: the routes in force, at the end
    std::string tableAt;       // --at, as records write times ("": the end)
};

// Parses the command line into `s`: the mode is the first word that is not
// an option (or an option's value) when it names one, so options may stand
// before it and after it. Returns -1 to go on, else the exit status (help
// and version printed, or a usage error reported on stderr).
int ParseArgs(int argc, char **argv, Settings &s);

// The help, made from the option table.
void PrintUsage(FILE *out);

}  // namespace rpdhost
