// The outputs of a run, each a route sink: readable text (the default), the
// plug-in's display pieces, the plug-in's own composite texts, JSON records
// (or nothing); the summary as text and as a JSON record; and the problem
// log on stderr (problem_log.h). Adding a format is adding a sink here.
#pragma once

#include <cstdio>
#include <memory>
#include <string>

#include "plugin.h"
#include "record_out.h"
#include "route_sink.h"
#include "summary.h"

namespace rpdhost {

enum class OutputMode { Text, PluginText, Display, Json, None };

// The output of `mode`, written to `out`; `station`, when not empty, names
// the station in every JSON record.
std::unique_ptr<RouteSink> MakeReporter(OutputMode mode, const Plugin &plugin, FILE *out,
                                        const std::string &station = "");
// The JSON records, handed to `out` one at a time.
std::unique_ptr<RouteSink> MakeJsonReporter(const Plugin &plugin, RecordOut &out, const std::string &station);

// The summary as the text outputs end with it, and as one JSON record (no line feed).
void PrintSummary(FILE *to, const Summary &s);
std::string SummaryJson(const Summary &s);

}  // namespace rpdhost
