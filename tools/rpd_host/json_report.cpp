// --json: one record per line (route, policy, event, problem, summary),
// each naming its file, message, offset, frame and stream; the schema is
// docs/rpd-host.schema.json. Routes of one message share their policy,
// written once and spliced into each.

#include "json_writer.h"
#include "policy_json.h"
#include "report.h"
#include "reporter.h"

namespace rpdhost {

namespace {

constexpr const char *kSchemaVersion = "1";

class JsonReporter : public Reporter {
public:
    JsonReporter(const Plugin &plugin, FILE *out) : plugin_(plugin), out_(out) {}

    void Begin(const MessageView &, const PolicyView &) override {
        policy_.clear();
        routes_ = 0;
    }

    void Route(const MessageView &mv, const PolicyView &pv, const RouteView &r) override {
        ++routes_;
        JsonWriter j = Head("route", mv);
        j.Field("action", r.announce ? "announce" : "withdraw");
        const KeyFields k = KeyFieldsOf(*r.key);
        j.Key("key").Open().Field("policy_type", k.policyType).Field("distinguisher", k.distinguisher);
        j.Field("peer", Ipv4Text(k.peer)).Close();
        if (r.hasPathId) j.Field("path_id", r.pathId);
        uint32_t st = 0;
        j.Field("text", KeyText(plugin_, *r.key, st));
        if (r.announce) Policy(j, mv, pv, r);
        Emit(j);
    }

    void End(const MessageView &mv, const PolicyView &pv) override {
        if (routes_ > 0 || !pv.present) return;
        // A policy on a message with no RPD route (a RIB entry of another family, say).
        JsonWriter j = Head("policy", mv);
        Policy(j, mv, pv, RouteView{});
        Emit(j);
    }

    void Event(const std::string &file, const InputEvent &e) override {
        line_.clear();
        JsonWriter j(line_);
        j.Open().Field("type", "event").Field("file", file).Field("offset", e.offset).Field("peer", e.peer);
        if (e.peerAs != 0) j.Field("peer_as", e.peerAs);
        if (e.hasTime) j.Field("time", TimeText(e.sec, e.usec));
        j.Field("event", e.what);
        Emit(j);
    }

    void Problem(const ProblemView &p) override {
        line_.clear();
        JsonWriter j(line_);
        j.Open().Field("type", "problem").Field("file", p.file);
        if (p.number != 0) j.Field("message", p.number).Field("offset", p.offset);
        if (p.frame != 0) j.Field("frame", p.frame);
        if (!p.where.empty()) j.Field("stream", p.where);
        j.Field("severity", p.status == "warning" ? "warning" : "error").Field("status", p.status).Field("what", p.what);
        if (p.hasByte) j.Field("message_byte", p.messageByte);
        if (p.hasAttributeByte) j.Field("attribute_byte", p.attributeByte);
        if (!p.excerpt.empty()) j.Field("excerpt", p.excerpt);
        Emit(j);
    }

    void Finish(const Summary &s) override {
        line_ = s.Json();
        line_ += '\n';
        std::fwrite(line_.data(), 1, line_.size(), out_);
    }

private:
    JsonWriter Head(const char *type, const MessageView &mv) {
        const Message &m = mv.m;
        line_.clear();
        JsonWriter j(line_);
        j.Open().Field("type", type).Field("version", kSchemaVersion).Field("file", mv.file);
        j.Field("message", m.number).Field("offset", m.offset);
        if (m.frame != 0) j.Field("frame", m.frame);
        if (!m.where.empty()) j.Field("stream", m.where);
        if (m.rebuilt) j.Field("rib_entry", true);
        if (!m.peer.empty()) j.Field("peer", m.peer);
        if (m.peerAs != 0) j.Field("peer_as", m.peerAs);
        if (m.hasTime) j.Field("time", TimeText(m.sec, m.usec));
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

    void Emit(JsonWriter &j) {
        j.Close();
        line_ += '\n';
        std::fwrite(line_.data(), 1, line_.size(), out_);
    }

    const Plugin &plugin_;
    FILE *out_;
    std::string line_, policy_;
    size_t routes_ = 0;
};

}  // namespace

std::unique_ptr<Reporter> MakeJsonReporter(const Plugin &plugin, FILE *out) {
    return std::make_unique<JsonReporter>(plugin, out);
}

}  // namespace rpdhost
