#include "summary.h"

#include "json_writer.h"

namespace rpdhost {

namespace {

unsigned long long U(uint64_t v) { return static_cast<unsigned long long>(v); }

}  // namespace

void Summary::Add(const InputCounts &counts) {
    for (const auto &[what, tally] : counts.skipped) {
        SkipTally &t = skipped[what];
        t.count += tally.count;
        t.damage = t.damage || tally.damage;
    }
}

uint64_t Summary::Failures() const {
    uint64_t n = 0;
    for (const auto &[name, count] : failures) n += count;
    return n;
}

bool Summary::Failed() const {
    if (Failures() > 0) return true;
    for (const auto &[what, tally] : skipped)
        if (tally.damage) return true;
    return false;
}

void Summary::PrintText(FILE *to) const {
    std::fprintf(to, "summary: %llu messages", U(messages));
    const char *sep = " (";
    for (const auto &[name, count] : byType) {
        std::fprintf(to, "%s%s %llu", sep, name.c_str(), U(count));
        sep = ", ";
    }
    if (!byType.empty()) std::fputc(')', to);
    std::fprintf(to, "; routes announced %llu, withdrawn %llu; policies %llu", U(announced), U(withdrawn), U(policies));
    if (filtered > 0) std::fprintf(to, "; %llu routes left out by the filters", U(filtered));
    if (otherFamilies > 0) std::fprintf(to, "; skipped %llu other address families", U(otherFamilies));
    if (otherAttributes > 0) std::fprintf(to, "; skipped %llu other attributes", U(otherAttributes));
    if (ipv4Updates > 0) std::fprintf(to, "; skipped IPv4 routes in %llu UPDATEs", U(ipv4Updates));
    if (verify) std::fprintf(to, "; verified %llu routes", U(verified));
    if (warnings > 0) std::fprintf(to, "; %llu warnings", U(warnings));
    if (events > 0) std::fprintf(to, "; events %llu", U(events));
    if (inputsWithoutMessages > 0)
        std::fprintf(to, "; %llu of %llu inputs without a BGP message", U(inputsWithoutMessages), U(inputs));
    // What the readers passed over: "damaged" for what could not be read, "skipped" for what is not ours to read.
    for (const bool damage : {false, true}) {
        sep = damage ? "\ndamaged: " : "\nskipped: ";
        for (const auto &[what, tally] : skipped) {
            if (tally.damage != damage) continue;
            std::fprintf(to, "%s%llu %s", sep, U(tally.count), what.c_str());
            sep = "; ";
        }
    }
    std::fprintf(to, "\nfailures: %llu", U(Failures()));
    sep = " (";
    for (const auto &[name, count] : failures) {
        std::fprintf(to, "%s%s %llu", sep, name.c_str(), U(count));
        sep = ", ";
    }
    std::fprintf(to, "%s\n", failures.empty() ? "" : ")");
}

std::string Summary::Json() const {
    std::string s;
    JsonWriter j(s);
    j.Open().Field("type", "summary").Field("inputs", inputs).Field("inputs_without_messages", inputsWithoutMessages);
    j.Field("messages", messages).Key("message_types").Open();
    for (const auto &[name, count] : byType) j.Field(name, count);
    j.Close();
    j.Field("routes_announced", announced).Field("routes_withdrawn", withdrawn).Field("routes_filtered", filtered);
    j.Field("policies", policies).Field("events", events).Field("other_families", otherFamilies);
    j.Field("other_attributes", otherAttributes).Field("ipv4_updates", ipv4Updates);
    if (verify) j.Field("verified", verified).Field("warnings", warnings);
    j.Key("skipped").OpenArray();
    for (const auto &[what, tally] : skipped)
        j.Open().Field("reason", what).Field("count", tally.count).Field("damage", tally.damage).Close();
    j.CloseArray().Key("failures").Open();
    for (const auto &[name, count] : failures) j.Field(name, count);
    j.Close().Field("failed", Failed()).Close();
    return s;
}

}  // namespace rpdhost
