#include "route_table.h"

#include <cstring>
#include <nlohmann/json.hpp>

#include "json_writer.h"
#include "record_fields.h"

namespace rpdhost {

namespace {

using json = nlohmann::ordered_json;

// "a, b, c" of the texts `f` makes of each element of r[field] (an array).
template <typename F> std::string List(const json &r, const char *field, F &&f) {
    std::string out;
    const auto it = r.find(field);
    if (it == r.end() || !it->is_array()) return out;
    for (const json &e : *it) (out += out.empty() ? "" : ", ") += f(e);
    return out;
}

std::string Str(const json &v) { return v.is_string() ? v.get<std::string>() : v.dump(); }

// One community group: its values, or the object that keeps a leading octet.
std::string Group(const json &g) {
    const json &values = g.is_object() ? g.value("values", json::array()) : g;
    std::string out;
    for (const json &v : values) (out += out.empty() ? "" : " ") += Str(v);
    return out;
}

// A policy record in one line: "MATCH AND SET, source AS 100, context AS 200;
// match prefixes 10.0.0.0/8, 172.16.0.0/12 ge 16; as paths ^100$; communities
// 1:2 3:4 | 65535:65535; MED add 50; AS path add 100 x2, 200; community add 0:100 0:200".
std::string PolicyLine(const json &p) {
    std::string out = Str(p.value("community", json("?"))) + ", source AS " + Str(p.value("source_as", json(0))) +
                      ", context AS " + Str(p.value("context_as", json(0)));
    const json &m = p.value("match", json::object());
    std::string match;
    auto add = [](std::string &to, const std::string &what) {
        if (!what.empty()) (to += to.empty() ? "" : "; ") += what;
    };
    const std::string prefixes = List(m, "prefixes", [](const json &e) {
        std::string t = TextField(e, "prefix");
        if (e.contains("greater_equal")) t += " ge " + Str(e["greater_equal"]);
        if (e.contains("less_equal")) t += " le " + Str(e["less_equal"]);
        return t;
    });
    if (!prefixes.empty()) add(match, "prefixes " + prefixes);
    const std::string paths = List(m, "as_path", Str);
    if (!paths.empty()) add(match, "AS paths " + paths);
    std::string groups;
    if (m.contains("communities"))
        for (const json &g : m["communities"]) (groups += groups.empty() ? "" : " | ") += Group(g);
    if (!groups.empty()) add(match, "communities " + groups);
    if (!match.empty()) out += "; match " + match;
    const json &a = p.value("actions", json::object());
    if (a.contains("med")) out += "; MED " + Str(a["med"].value("operation", json("set"))) + " " + Str(a["med"].value("value", json(0)));
    if (a.contains("as_path_add"))
        out += "; AS path add " + List(a, "as_path_add", [](const json &e) {
                   const uint64_t repeat = NumberField(e, "repeat");
                   return Str(e.value("as", json(0))) + (repeat > 1 ? " x" + std::to_string(repeat) : "");
               });
    if (a.contains("community_add")) out += "; community add " + Group(a["community_add"]);
    return out;
}

}  // namespace

void RouteTable::Put(const RecordTag &tag, std::string &line) {
    const bool tagged = tag.type != nullptr && *tag.type != '\0';
    if (tagged && std::strcmp(tag.type, "route") != 0 && std::strcmp(tag.type, "event") != 0) return;
    const json r = json::parse(line, nullptr, false);
    if (!r.is_object()) {
        ++unreadable_;
        return;
    }
    const std::string type = tagged ? std::string(tag.type) : TextField(r, "type");
    if (type != "route" && type != "event") return;
    // A record without a time of its own (a BMP termination) counts at the time of the one before it.
    std::string time = TextField(r, "time");
    if (time.empty()) time = last_;
    last_ = time;
    if (!at_.empty() && time > at_) return;  // after the time asked for
    const std::string station = TextField(r, "station"), router = TextField(r, "router"), peer = TextField(r, "peer");
    if (type == "event") {
        const std::string ends = TextField(r, "ends");
        if (ends.empty()) return;
        for (auto it = routes_.begin(); it != routes_.end();) {
            const Key &k = it->first;
            const bool gone = k.station == station && k.router == router && (ends == "router" || k.peer == peer);
            it = gone ? routes_.erase(it) : std::next(it);
        }
        return;
    }
    const json &key = r.value("key", json::object());
    Key k{station, router, peer, TextField(r, "rib"), static_cast<uint32_t>(NumberField(key, "policy_type")),
          static_cast<uint32_t>(NumberField(key, "distinguisher")), TextField(key, "peer")};
    if (TextField(r, "action") == "withdraw") routes_.erase(k);
    else routes_[k] = line;
}

void RouteTable::Print(FILE *out, bool asJson) const {
    std::string buf;
    const std::string when = at_.empty() ? "at the end of the input" : "at " + at_;
    if (!asJson) {
        buf = "table: " + std::to_string(routes_.size()) + (routes_.size() == 1 ? " RPD route" : " RPD routes") +
              " in force " + when + "\n";
    }
    const Key *last = nullptr;
    for (const auto &[k, line] : routes_) {
        const json r = json::parse(line, nullptr, false);
        if (asJson) {
            std::string rec;
            JsonWriter j(rec);
            j.Open().Field("type", "table_route");
            if (!k.station.empty()) j.Field("station", k.station);
            if (!k.router.empty()) j.Field("router", k.router);
            j.Field("peer", k.peer);
            if (!k.rib.empty()) j.Field("rib", k.rib);
            if (r.contains("peer_as")) j.Field("peer_as", NumberField(r, "peer_as"));
            j.Key("key").Raw(r.value("key", json::object()).dump()).Field("text", TextField(r, "text"));
            if (r.contains("time")) j.Field("time", TextField(r, "time"));
            j.Field("file", TextField(r, "file")).Field("message", NumberField(r, "message"));
            if (r.contains("policy")) j.Key("policy").Raw(r["policy"].dump());
            if (r.contains("policy_status")) j.Field("policy_status", TextField(r, "policy_status"));
            j.Close();
            (buf += rec) += '\n';
            continue;
        }
        if (last == nullptr || last->station != k.station || last->router != k.router || last->peer != k.peer ||
            last->rib != k.rib) {
            buf += " ";
            if (!k.station.empty()) buf += " station " + k.station + ",";
            if (!k.router.empty()) buf += " router " + k.router + ",";
            buf += " peer " + (k.peer.empty() ? std::string("(none named)") : k.peer);
            if (r.contains("peer_as")) buf += " AS" + std::to_string(NumberField(r, "peer_as"));
            if (!k.rib.empty()) buf += ", " + k.rib;
            buf += '\n';
        }
        last = &k;
        buf += "    " + TextField(r, "text") + "\n      since ";
        buf += (r.contains("time") ? TextField(r, "time") + " " : "") + "(" + TextField(r, "file") + ", message " +
               std::to_string(NumberField(r, "message")) + ")\n";
        buf += "      policy " + (r.contains("policy")          ? PolicyLine(r["policy"])
                                   : r.contains("policy_status") ? "not decoded: " + TextField(r, "policy_status")
                                                                 : std::string("none")) + "\n";
    }
    if (asJson) {
        std::string rec;
        JsonWriter j(rec);
        j.Open().Field("type", "table").Field("routes", routes_.size());
        if (!at_.empty()) j.Field("at", at_);
        j.Close();
        (buf += rec) += '\n';
    }
    std::fwrite(buf.data(), 1, buf.size(), out);
}

}  // namespace rpdhost
