#include <cstdio>

#include "json_writer.h"
#include "reporter.h"

namespace rpdhost {

namespace {

unsigned long long U(uint64_t v) { return static_cast<unsigned long long>(v); }

}  // namespace

void PrintSummary(FILE *to, const Summary &s) {
    std::fprintf(to, "summary: %llu messages", U(s.messages));
    const char *sep = " (";
    for (const auto &[name, count] : s.byType) {
        std::fprintf(to, "%s%s %llu", sep, name.c_str(), U(count));
        sep = ", ";
    }
    if (!s.byType.empty()) std::fputc(')', to);
    std::fprintf(to, "; routes announced %llu, withdrawn %llu; policies %llu", U(s.announced), U(s.withdrawn), U(s.policies));
    if (s.sentUpdates > 0)
        std::fprintf(to, "; sent %llu UPDATEs: routes announced %llu, withdrawn %llu", U(s.sentUpdates),
                     U(s.sentAnnounced), U(s.sentWithdrawn));
    if (s.filtered > 0) std::fprintf(to, "; %llu routes left out by the filters", U(s.filtered));
    if (s.otherFamilies > 0) std::fprintf(to, "; skipped %llu other address families", U(s.otherFamilies));
    if (s.otherAttributes > 0) std::fprintf(to, "; skipped %llu other attributes", U(s.otherAttributes));
    if (s.ipv4Updates > 0) std::fprintf(to, "; skipped IPv4 routes in %llu UPDATEs", U(s.ipv4Updates));
    if (s.verify) std::fprintf(to, "; verified %llu routes", U(s.verified));
    if (s.warnings > 0) std::fprintf(to, "; %llu warnings", U(s.warnings));
    if (s.events > 0) std::fprintf(to, "; events %llu", U(s.events));
    if (s.inputsWithoutMessages > 0)
        std::fprintf(to, "; %llu of %llu inputs without a BGP message", U(s.inputsWithoutMessages), U(s.inputs));
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
