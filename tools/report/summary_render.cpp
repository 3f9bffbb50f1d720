#include <cstdio>

#include "counted.h"
#include "json_writer.h"
#include "reporter.h"

namespace rpdhost {

namespace {

unsigned long long U(uint64_t v) { return static_cast<unsigned long long>(v); }

}  // namespace

void PrintSummary(FILE *to, const Summary &s) {
    using rpdwire::Counted;
    std::fprintf(to, "summary: %s", Counted(s.messages, "message", "messages").c_str());
    const char *sep = " (";
    for (const auto &[name, count] : s.byType) {
        std::fprintf(to, "%s%s %llu", sep, name.c_str(), U(count));
        sep = ", ";
    }
    if (!s.byType.empty()) std::fputc(')', to);
    std::fprintf(to, "; routes announced %llu, withdrawn %llu; policies %llu", U(s.announced), U(s.withdrawn), U(s.policies));
    if (s.sentUpdates > 0)
        std::fprintf(to, "; sent %s: routes announced %llu, withdrawn %llu",
                     Counted(s.sentUpdates, "UPDATE", "UPDATEs").c_str(), U(s.sentAnnounced), U(s.sentWithdrawn));
    if (s.filtered > 0) std::fprintf(to, "; %s left out by the filters", Counted(s.filtered, "route", "routes").c_str());
    if (s.otherFamilies > 0)
        std::fprintf(to, "; skipped %s", Counted(s.otherFamilies, "other address family", "other address families").c_str());
    if (s.otherAttributes > 0)
        std::fprintf(to, "; skipped %s", Counted(s.otherAttributes, "other attribute", "other attributes").c_str());
    if (s.ipv4Updates > 0) std::fprintf(to, "; skipped IPv4 routes in %s", Counted(s.ipv4Updates, "UPDATE", "UPDATEs").c_str());
    if (s.verify) std::fprintf(to, "; verified %s", Counted(s.verified, "route", "routes").c_str());
    if (s.warnings > 0) std::fprintf(to, "; %s", Counted(s.warnings, "warning", "warnings").c_str());
    if (s.events > 0) std::fprintf(to, "; events %llu", U(s.events));
    if (s.inputsWithoutMessages > 0)
        std::fprintf(to, "; %llu of %s without a BGP message", U(s.inputsWithoutMessages),
                     Counted(s.inputs, "input", "inputs").c_str());
    // What the readers passed over: "damaged" for what could not be read, "skipped" for what is not ours to read.
    for (const bool damage : {false, true}) {
        sep = damage ? "\ndamaged: " : "\nskipped: ";
        for (const auto &[what, tally] : s.skipped) {
            if (tally.damage != damage) continue;
            std::fprintf(to, "%s%llu %s", sep, U(tally.count), what.c_str());
            sep = "; ";
        }
    }
    std::fprintf(to, "\nfailures: %llu", U(s.Failures()));
    sep = " (";
    for (const auto &[name, count] : s.failures) {
        std::fprintf(to, "%s%s %llu", sep, name.c_str(), U(count));
        sep = ", ";
    }
    std::fprintf(to, "%s\n", s.failures.empty() ? "" : ")");
}

std::string SummaryJson(const Summary &s) {
    std::string out;
    JsonWriter j(out);
    j.Open().Field("type", "summary").Field("inputs", s.inputs).Field("inputs_without_messages", s.inputsWithoutMessages);
    j.Field("messages", s.messages).Key("message_types").Open();
    for (const auto &[name, count] : s.byType) j.Field(name, count);
    j.Close();
    j.Field("routes_announced", s.announced).Field("routes_withdrawn", s.withdrawn).Field("routes_filtered", s.filtered);
    j.Field("policies", s.policies).Field("events", s.events).Field("other_families", s.otherFamilies);
    if (s.sentUpdates > 0)
        j.Key("sent").Open().Field("updates", s.sentUpdates).Field("routes_announced", s.sentAnnounced)
            .Field("routes_withdrawn", s.sentWithdrawn).Close();
    j.Field("other_attributes", s.otherAttributes).Field("ipv4_updates", s.ipv4Updates);
    if (s.verify) j.Field("verified", s.verified).Field("warnings", s.warnings);
    j.Key("skipped").OpenArray();
    for (const auto &[what, tally] : s.skipped)
        j.Open().Field("reason", what).Field("count", tally.count).Field("damage", tally.damage).Close();
    j.CloseArray().Key("failures").Open();
    for (const auto &[name, count] : s.failures) j.Field(name, count);
    j.Close().Field("failed", s.Failed()).Close();
    return out;
}

}  // namespace rpdhost
