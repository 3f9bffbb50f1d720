// --json: one record per line (route, policy, event, problem, summary),
// each naming its file, message, offset, frame and stream; the schema is
// docs/rpd-host.schema.json. Routes of one message share their policy,
// written once and spliced into each.
#include "address.h"
#include "hex.h"
#include "json_writer.h"
#include "record_out.h"
#include "reporter.h"
#include "textual.h"
#include "wire.h"

namespace rpdhost {

namespace {

constexpr const char *kSchemaVersion = "1";


// Values as "high:low"; a group with a leading octet other than 0 as an object that keeps it.
void Communities(JsonWriter &j, const WcCommunities &c, size_t ignored, const uint8_t *raw, size_t tail) {
    const bool object = c.lead != 0 || ignored > 0;
    if (object) j.Open().Field("lead", c.lead).Key("values");
    j.OpenArray();
    for (const uint32_t v : c.values) j.Str(CommunityText(v));
    j.CloseArray();
    if (ignored > 0) j.Field("ignored", rpdwire::HexText(raw + tail, ignored));
    if (object) j.Close();
}

const char *AtomName(WcAtom::Kind k) {
    return k == WcAtom::Prefixes ? "prefixes" : k == WcAtom::AsPath ? "as_path" : "communities";
}
const char *ActionName(WcAction::Kind k) {
    return k == WcAction::Med ? "med" : k == WcAction::AsPathAdd ? "as_path_add" : "community_add";
}

// Whether the atoms and actions stand in the order `encode` writes them by default.
bool CanonicalOrder(const WcPolicy &p) {
    for (size_t i = 1; i < p.atoms.size(); ++i)
        if (p.atoms[i].kind < p.atoms[i - 1].kind) return false;
    for (size_t i = 1; i < p.actions.size(); ++i)
        if (p.actions[i].kind < p.actions[i - 1].kind) return false;
    return true;
}

// A policy as JSON, losslessly: what the wire holds, in the form `encode`
// takes back, so that decode -> encode -> decode gives the same bytes.
void WritePolicyJson(JsonWriter &j, const WcPolicy &p, const uint8_t *raw, size_t n) {
    j.Open().Field("container_type", p.containerType).Field("flags", p.flags).Field("hop_count", p.hopCount);
    j.Field("container_length", p.containerLength);
    if (p.community == rpdwire::kMatchAndSet) j.Field("community", "MATCH AND SET");
    else if (p.community == rpdwire::kMatchAndNoAdv) j.Field("community", "MATCH AND NOADV");
    else j.Field("community", p.community);
    j.Field("source_as", p.sourceAs).Field("context_as", p.contextAs);

    j.Key("match").Open();
    for (const WcAtom::Kind kind : {WcAtom::Prefixes, WcAtom::AsPath, WcAtom::Communities}) {
        bool open = false;
        for (const WcAtom &a : p.atoms) {
            if (a.kind != kind) continue;
            if (!open) j.Key(AtomName(kind)).OpenArray();
            open = true;
            if (kind == WcAtom::Prefixes) {
                for (const WcPrefixEntry &e : a.prefixes) {
                    j.Open().Field("prefix", rpdwire::Ipv4PrefixText(e.addr, e.mask));
                    if (e.MatchType() & 1) j.Field("greater_equal", e.ge);
                    if (e.MatchType() & 2) j.Field("less_equal", e.le);
                    if ((e.firstOctet & 15) != 0) j.Field("low_bits", e.firstOctet & 15);
                    j.Close();
                }
            } else if (kind == WcAtom::AsPath) {
                j.Str(a.asPath);
            } else {
                Communities(j, a.communities, 0, raw, 0);
            }
        }
        if (open) j.CloseArray();
    }
    j.Close();

    j.Key("actions").Open();
    for (const WcAction &a : p.actions) {
        j.Key(ActionName(a.kind));
        switch (a.kind) {
            case WcAction::Med:
                j.Open().Key("operation");
                if (a.medOperation == 1) j.Str("add");
                else if (a.medOperation == 2) j.Str("subtract");
                else if (a.medOperation == 0) j.Str("set");
                else j.Uint(a.medOperation);  // another code that also sets
                j.Field("value", a.medValue).Close();
                break;
            case WcAction::AsPathAdd:
                j.OpenArray();
                for (const WcAsPathAdd &e : a.asPath) j.Open().Field("as", e.as).Field("repeat", e.repeat).Close();
                j.CloseArray();
                break;
            case WcAction::CommunityAdd:
                Communities(j, a.communities, a.ignoredBytes, raw, a.offset + 3 + 1 + 4 * a.communities.values.size());
                break;
        }
    }
    j.Close();
    if (!CanonicalOrder(p)) {
        j.Key("wire_order").OpenArray();
        for (const WcAtom &a : p.atoms) j.Str(AtomName(a.kind));
        for (const WcAction &a : p.actions) j.Str(ActionName(a.kind));
        j.CloseArray();
    }
    if (p.trailingActionHeader) {
        const size_t at = n - 3;
        j.Key("trailing_action_header").Open().Field("type", raw[at]).Field("length", static_cast<unsigned>(raw[at + 1] << 8 | raw[at + 2])).Close();
    }
    j.Field("raw", rpdwire::HexText(raw, n)).Close();
}

class JsonReporter : public RouteSink {
public:
    // Records to a stream of lines, or to `out`; `station` names the station in every record ("": none).
    JsonReporter(const Plugin &plugin, FILE *out, std::string station)
        : plugin_(plugin), own_(out), out_(own_), station_(std::move(station)) {}
    JsonReporter(const Plugin &plugin, RecordOut &out, std::string station)
        : plugin_(plugin), own_(nullptr), out_(out), station_(std::move(station)) {}
    bool NeedsWire() const override { return true; }

    // Records read back from a stream keep the station and the file they name.
    void Input(const std::string &shown, const std::string &station, const std::string &file) override {
        shown_ = shown;
        readFile_ = file;
        readStation_ = station;
    }

    void Begin(const MessageView &mv, const PolicyView &) override {
        policy_.clear();
        routes_ = 0;
        // The IPv4 unicast prefixes the message announces (the first of them, when many), once for all its records.
        constexpr size_t kListed = 16;
        prefixCount_ = Ipv4Prefixes(mv, kListed, prefixes_);
    }

    void Route(const MessageView &mv, const PolicyView &pv, const RouteView &r) override {
        ++routes_;
        JsonWriter j = Head(kRoute, mv);
        j.Field("action", r.announce ? "announce" : "withdraw");
        const KeyFields k = KeyFieldsOf(*r.key);
        j.Key("key").Open().Field("policy_type", k.policyType).Field("distinguisher", k.distinguisher);
        j.Field("peer", rpdwire::Ipv4Text(k.peer)).Close();
        if (r.hasPathId) j.Field("path_id", r.pathId);
        uint32_t st = 0;
        j.Field("text", KeyText(plugin_, *r.key, st));
        if (r.announce) Policy(j, mv, pv, r);
        Emit(j, kRoute, mv.m.router);
    }

    void End(const MessageView &mv, const PolicyView &pv) override {
        if (routes_ > 0 || !pv.present) return;
        // A policy on a message with no RPD route (a RIB entry of another family, say).
        JsonWriter j = Head(kPolicy, mv);
        Policy(j, mv, pv, RouteView{});
        Emit(j, kPolicy, mv.m.router);
    }

    void Event(const std::string &file, const InputEvent &e) override {
        line_.clear();
        JsonWriter j = Open(kEvent);
        j.Field("file", File(file)).Field("offset", e.offset).Field("peer", e.peer);
        if (e.peerAs != 0) j.Field("peer_as", e.peerAs);
        if (!e.router.empty()) j.Field("router", e.router);
        if (const char *ends = EndsName(e.ends)) j.Field("ends", ends);
        if (e.hasTime) j.Field("time", TimeText(e.sec, e.usec));
        j.Field("event", e.what);
        Emit(j, kEvent, e.router);
    }

    void Problem(const ProblemView &p) override {
        line_.clear();
        JsonWriter j = Open(kProblem);
        j.Field("file", File(p.file));
        if (p.number != 0) j.Field("message", p.number).Field("offset", p.offset);
        if (p.frame != 0) j.Field("frame", p.frame);
        if (!p.where.empty()) j.Field("stream", p.where);
        j.Field("severity", p.Warning() ? "warning" : "error").Field("status", p.status).Field("what", p.what);
        if (p.hasByte) j.Field("message_byte", p.messageByte);
        if (p.hasAttributeByte) j.Field("attribute_byte", p.attributeByte);
        if (!p.excerpt.empty()) j.Field("excerpt", p.excerpt);
        Emit(j, kProblem, {});
    }

    void Tally(Summary &s) const override { out_.Tally(s); }

    void Finish(const Summary &s) override {
        line_ = SummaryJson(s);
        constexpr std::string_view kHead = R"({"type":"summary",)";
        if (!station_.empty() && std::string_view(line_).substr(0, kHead.size()) == kHead) {
            std::string field;  // after the type, as in every record
            JsonWriter(field).Key("station").Str(station_);
            line_.insert(kHead.size(), field + ",");
        }
        out_.Put({kSummary, {}}, line_);
    }

private:
    static constexpr const char *kRoute = "route", *kPolicy = "policy", *kEvent = "event", *kProblem = "problem",
                                *kSummary = "summary";

    // A record's start: its type, and the station when one is named.
    JsonWriter Open(const char *type) {
        line_.clear();
        JsonWriter j(line_);
        j.Open().Field("type", type);
        const std::string &station = readStation_.empty() ? station_ : readStation_;
        if (!station.empty()) j.Field("station", station);
        return j;
    }

    // The file as the record names it: without the station its input was shown with.
    const std::string &File(const std::string &shown) const {
        return !readStation_.empty() && shown == shown_ ? readFile_ : shown;
    }

    JsonWriter Head(const char *type, const MessageView &mv) {
        const Message &m = mv.m;
        JsonWriter j = Open(type);
        j.Field("version", kSchemaVersion).Field("file", File(mv.file));
        j.Field("message", m.number).Field("offset", m.offset);
        if (m.frame != 0) j.Field("frame", m.frame);
        if (!m.where.empty()) j.Field("stream", m.where);
        if (m.rebuilt) j.Field("rib_entry", true);
        if (!m.peer.empty()) j.Field("peer", m.peer);
        if (m.peerAs != 0) j.Field("peer_as", m.peerAs);
        if (!m.router.empty()) j.Field("router", m.router);
        if (!m.rib.empty()) j.Field("rib", m.rib);
        if (m.hasTime) j.Field("time", TimeText(m.sec, m.usec));
        if (prefixCount_ > 0) {
            j.Key("prefixes").OpenArray();
            for (const std::string &p : prefixes_) j.Str(p);
            j.CloseArray().Field("prefix_count", prefixCount_);
        }
        return j;
    }

    void Policy(JsonWriter &j, const MessageView &mv, const PolicyView &pv, const RouteView &r) {
        if (!pv.present) return;
        if (!pv.Accepted()) {
            j.Field("policy_status", TAM_RPD_StatusName(pv.status));
            return;
        }
        if (policy_.empty() && pv.wire != nullptr) {
            JsonWriter p(policy_);
            WritePolicyJson(p, *pv.wire, mv.m.bytes.data() + pv.offset, pv.length);
        }
        if (!policy_.empty()) j.Key("policy").Raw(policy_);
        if (r.key != nullptr) j.Field("complete", r.complete);
    }

    void Emit(JsonWriter &j, const char *type, std::string_view router) {
        j.Close();
        out_.Put({type, router}, line_);
    }

    const Plugin &plugin_;
    StreamRecordOut own_;
    RecordOut &out_;
    std::string station_;
    std::string shown_, readStation_, readFile_;  // the input now, when read back from a stream
    std::string line_, policy_;
    std::vector<std::string> prefixes_;  // the message's, from Begin
    size_t prefixCount_ = 0;
    size_t routes_ = 0;
};

}  // namespace

std::unique_ptr<RouteSink> MakeJsonReporter(const Plugin &plugin, FILE *out, const std::string &station) {
    return std::make_unique<JsonReporter>(plugin, out, station);
}

std::unique_ptr<RouteSink> MakeJsonReporter(const Plugin &plugin, RecordOut &out, const std::string &station) {
    return std::make_unique<JsonReporter>(plugin, out, station);
}

}  // namespace rpdhost
