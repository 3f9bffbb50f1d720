#include "encode.h"

#include <arpa/inet.h>

#include <algorithm>
#include <nlohmann/json.hpp>
#include <set>
#include <sstream>
#include <tuple>

#include "hex.h"

namespace rpdhost {

namespace {

using nlohmann::json;
using rpdwire::Bytes;

struct Bad {
    std::string what;
};

// Field readers that name the field on failure; unknown fields are refused
// so that a typing error does not silently drop part of a policy.
class Reader {
public:
    Reader(const json &j, std::string path) : j_(j), path_(std::move(path)) {
        if (!j_.is_object()) throw Bad{path_ + ": expected an object"};
    }
    void Allow(std::initializer_list<const char *> names) const {
        for (auto it = j_.begin(); it != j_.end(); ++it) {
            bool known = false;
            for (const char *n : names) known = known || it.key() == n;
            if (!known) throw Bad{path_ + "." + it.key() + ": unknown field"};
        }
    }
    bool Has(const char *name) const { return j_.contains(name); }
    const json &At(const char *name) const { return j_.at(name); }
    std::string Path(const char *name) const { return path_ + "." + name; }
    uint64_t Uint(const char *name, uint64_t def, uint64_t max) const {
        if (!Has(name)) return def;
        return UintOf(j_.at(name), Path(name), max);
    }
    std::string Str(const char *name, const std::string &def) const {
        if (!Has(name)) return def;
        if (!j_.at(name).is_string()) throw Bad{Path(name) + ": expected a string"};
        return j_.at(name).get<std::string>();
    }
    static uint64_t UintOf(const json &v, const std::string &path, uint64_t max) {
        if (!v.is_number_unsigned() || v.get<uint64_t>() > max)
            throw Bad{path + ": expected a whole number from 0 to " + std::to_string(max)};
        return v.get<uint64_t>();
    }

private:
    const json &j_;
    std::string path_;
};

uint32_t Ipv4(const std::string &text, const std::string &path) {
    in_addr a;
    if (inet_pton(AF_INET, text.c_str(), &a) != 1) throw Bad{path + ": expected an IPv4 address"};
    return ntohl(a.s_addr);
}

// "1:2" (upper and lower 16 bits) or a whole 32-bit number.
uint32_t Community(const json &v, const std::string &path) {
    if (v.is_number_unsigned()) return static_cast<uint32_t>(Reader::UintOf(v, path, 0xFFFFFFFFu));
    if (v.is_string()) {
        const std::string s = v.get<std::string>();
        unsigned hi = 0, lo = 0;
        char tail = 0;
        if (std::sscanf(s.c_str(), "%u:%u%c", &hi, &lo, &tail) == 2 && hi <= 0xFFFF && lo <= 0xFFFF)
            return hi << 16 | lo;
    }
    throw Bad{path + ": expected a community as \"high:low\" or a number"};
}

// "10.0.0.0/8" as address and length.
void PrefixOf(const std::string &text, const std::string &path, uint32_t &addr, uint8_t &len) {
    const size_t slash = text.find('/');
    if (slash == std::string::npos) throw Bad{path + ": expected address/length"};
    addr = Ipv4(text.substr(0, slash), path);
    char *end = nullptr;
    const unsigned long n = std::strtoul(text.c_str() + slash + 1, &end, 10);
    if (end == text.c_str() + slash + 1 || *end != '\0' || n > 32) throw Bad{path + ": length must be 0 to 32"};
    len = static_cast<uint8_t>(n);
}

// AF_INET or AF_INET6 for an address text, 0 for anything else.
int Family(const std::string &text) {
    unsigned char buf[16];
    if (inet_pton(AF_INET, text.c_str(), buf) == 1) return AF_INET;
    if (inet_pton(AF_INET6, text.c_str(), buf) == 1) return AF_INET6;
    return 0;
}

const json &Array(const json &v, const std::string &path) {
    if (!v.is_array()) throw Bad{path + ": expected an array"};
    return v;
}

Bytes HexBytes(const std::string &hex, const std::string &path) {
    Bytes out;
    std::string why;
    if (!rpdwire::FromHex(hex, out, &why)) throw Bad{path + ": " + why};
    return out;
}

// A community group: ["1:2", ...], or {"lead": n, "values": [...], "ignored": "hex"} to keep what the
// wire carries beside the values.
rpdwire::Tlv CommunityGroup(const json &g, const std::string &path, bool action) {
    const json *values = &g;
    uint8_t lead = 0;
    Bytes ignored;
    if (g.is_object()) {
        Reader r(g, path);
        if (action) r.Allow({"lead", "values", "ignored"});
        else r.Allow({"lead", "values"});
        lead = static_cast<uint8_t>(r.Uint("lead", 0, 255));
        if (!r.Has("values")) throw Bad{path + ".values: missing"};
        values = &r.At("values");
        if (r.Has("ignored")) ignored = HexBytes(r.Str("ignored", ""), r.Path("ignored"));
        if (ignored.size() > 3) throw Bad{path + ".ignored: at most 3 bytes"};
    }
    const std::string vp = g.is_object() ? path + ".values" : path;
    std::vector<uint32_t> v;
    size_t k = 0;
    for (const json &x : Array(*values, vp)) v.push_back(Community(x, vp + "[" + std::to_string(k++) + "]"));
    rpdwire::Tlv t = action ? rpdwire::CmtyAction(v, lead) : rpdwire::CmtyAtom(v, lead);
    t.value.insert(t.value.end(), ignored.begin(), ignored.end());
    return t;
}

// Puts atoms and actions in the order "wire_order" names (kinds, in wire order), taking each kind's next one.
void Reorder(const json &order, const std::string &path, std::vector<std::pair<std::string, rpdwire::Tlv>> &items,
             rpdwire::Policy &p) {
    std::vector<std::pair<std::string, rpdwire::Tlv>> left = std::move(items);
    size_t i = 0;
    for (const json &k : Array(order, path)) {
        const std::string kp = path + "[" + std::to_string(i++) + "]";
        if (!k.is_string()) throw Bad{kp + ": expected a kind name"};
        auto it = std::find_if(left.begin(), left.end(), [&](const auto &e) { return e.first == k.get<std::string>(); });
        if (it == left.end()) throw Bad{kp + ": no " + k.get<std::string>() + " left to place"};
        const bool action = it->first == "med" || it->first == "as_path_add" || it->first == "community_add";
        (action ? p.actions : p.atoms).push_back(std::move(it->second));
        left.erase(it);
    }
    if (!left.empty()) throw Bad{path + ": does not place " + left.front().first};
}

rpdwire::Policy PolicyOf(const json &j, const std::string &path) {
    Reader r(j, path);
    r.Allow({"container_type", "flags", "hop_count", "container_length", "community", "source_as", "context_as",
             "match", "actions", "wire_order", "trailing_action_header", "raw"});
    // Atoms and actions, each under its kind, in the order encode writes by default.
    std::vector<std::pair<std::string, rpdwire::Tlv>> items;
    rpdwire::Policy p;
    p.containerType = static_cast<uint16_t>(r.Uint("container_type", 1, 0xFFFF));
    p.flags = static_cast<uint8_t>(r.Uint("flags", 0, 255));
    p.hopCount = static_cast<uint8_t>(r.Uint("hop_count", 0, 255));
    p.srcAs = static_cast<uint32_t>(r.Uint("source_as", 0, 0xFFFFFFFFu));
    p.contextAs = static_cast<uint32_t>(r.Uint("context_as", 0, 0xFFFFFFFFu));
    if (r.Has("container_length")) p.containerLen = static_cast<int32_t>(r.Uint("container_length", 0, 0xFFFF));
    if (r.Has("community")) {
        const json &c = r.At("community");
        if (c == "MATCH AND SET") p.community = rpdwire::kMatchAndSet;
        else if (c == "MATCH AND NOADV") p.community = rpdwire::kMatchAndNoAdv;
        else if (c.is_string()) throw Bad{r.Path("community") + ": expected \"MATCH AND SET\", \"MATCH AND NOADV\" or a number"};
        else p.community = static_cast<uint32_t>(Reader::UintOf(c, r.Path("community"), 0xFFFFFFFFu));
    }
    if (r.Has("match")) {
        Reader m(r.At("match"), r.Path("match"));
        m.Allow({"prefixes", "as_path", "communities"});
        if (m.Has("prefixes")) {
            std::vector<rpdwire::PrefixEntry> entries;
            size_t i = 0;
            for (const json &e : Array(m.At("prefixes"), m.Path("prefixes"))) {
                const std::string ep = m.Path("prefixes") + "[" + std::to_string(i++) + "]";
                Reader er(e, ep);
                er.Allow({"prefix", "greater_equal", "less_equal", "low_bits"});
                rpdwire::PrefixEntry pe;
                PrefixOf(er.Str("prefix", ""), ep + ".prefix", pe.addr, pe.mask);
                const bool ge = er.Has("greater_equal"), le = er.Has("less_equal");
                pe.ge = static_cast<uint8_t>(er.Uint("greater_equal", 0, 32));
                pe.le = static_cast<uint8_t>(er.Uint("less_equal", 0, 32));
                pe.matchType = static_cast<uint8_t>((ge ? 1 : 0) | (le ? 2 : 0));
                pe.lowNibble = static_cast<uint8_t>(er.Uint("low_bits", 0, 15));
                entries.push_back(pe);
            }
            items.emplace_back("prefixes", rpdwire::PrefixAtom(entries));
        }
        if (m.Has("as_path")) {
            size_t i = 0;
            for (const json &t : Array(m.At("as_path"), m.Path("as_path"))) {
                if (!t.is_string())
                    throw Bad{m.Path("as_path") + "[" + std::to_string(i) + "]: expected a string"};
                items.emplace_back("as_path", rpdwire::AsPathAtom(t.get<std::string>()));
                ++i;
            }
        }
        if (m.Has("communities")) {
            size_t i = 0;
            for (const json &f : Array(m.At("communities"), m.Path("communities")))
                items.emplace_back("communities",
                                   CommunityGroup(f, m.Path("communities") + "[" + std::to_string(i++) + "]", false));
        }
    }
    if (r.Has("actions")) {
        Reader a(r.At("actions"), r.Path("actions"));
        a.Allow({"med", "as_path_add", "community_add"});
        if (a.Has("med")) {
            Reader med(a.At("med"), a.Path("med"));
            med.Allow({"operation", "value"});
            uint8_t code = 0;  // set
            if (med.Has("operation") && med.At("operation").is_number_unsigned()) {
                code = static_cast<uint8_t>(med.Uint("operation", 0, 255));  // a code of its own (3 and up also set)
            } else {
                const std::string op = med.Str("operation", "set");
                if (op == "add") code = 1;
                else if (op == "subtract") code = 2;
                else if (op != "set") throw Bad{med.Path("operation") + ": expected add, subtract, set or a code"};
            }
            items.emplace_back("med", rpdwire::MedAction(code, static_cast<uint32_t>(med.Uint("value", 0, 0xFFFFFFFFu))));
        }
        if (a.Has("as_path_add")) {
            std::vector<rpdwire::AsPathRepeat> entries;
            size_t i = 0;
            for (const json &e : Array(a.At("as_path_add"), a.Path("as_path_add"))) {
                Reader er(e, a.Path("as_path_add") + "[" + std::to_string(i++) + "]");
                er.Allow({"as", "repeat"});
                entries.push_back({static_cast<uint32_t>(er.Uint("as", 0, 0xFFFFFFFFu)),
                                   static_cast<uint8_t>(er.Uint("repeat", 1, 255))});
            }
            items.emplace_back("as_path_add", rpdwire::AsPathAction(entries));
        }
        if (a.Has("community_add"))
            items.emplace_back("community_add", CommunityGroup(a.At("community_add"), a.Path("community_add"), true));
    }
    if (r.Has("wire_order")) {
        Reorder(r.At("wire_order"), r.Path("wire_order"), items, p);
    } else {
        for (auto &[kind, tlv] : items) {
            const bool action = kind == "med" || kind == "as_path_add" || kind == "community_add";
            (action ? p.actions : p.atoms).push_back(std::move(tlv));
        }
    }
    if (r.Has("trailing_action_header")) {  // a last action header whose value is absent
        Reader t(r.At("trailing_action_header"), r.Path("trailing_action_header"));
        t.Allow({"type", "length"});
        p.actions.push_back(rpdwire::Tlv{static_cast<uint8_t>(t.Uint("type", 0, 255)), {},
                                         static_cast<int32_t>(t.Uint("length", 0, 0xFFFF))});
    }
    return p;
}

std::vector<rpdwire::RpdNlri> NlrisOf(const json &j, const std::string &path) {
    std::vector<rpdwire::RpdNlri> out;
    size_t i = 0;
    for (const json &e : Array(j, path)) {
        const std::string ep = path + "[" + std::to_string(i++) + "]";
        Reader r(e, ep);
        r.Allow({"distinguisher", "peer", "policy_type"});
        rpdwire::RpdNlri n;
        n.distinguisher = static_cast<uint32_t>(r.Uint("distinguisher", 0, 0xFFFFFFFFu));
        n.peer = Ipv4(r.Str("peer", ""), r.Path("peer"));
        n.policyType = static_cast<uint8_t>(r.Uint("policy_type", 1, 255));
        out.push_back(n);
    }
    return out;
}

using NlriKey = std::tuple<uint8_t, uint32_t, uint32_t>;
NlriKey KeyOf(const rpdwire::RpdNlri &n) { return {n.policyType, n.distinguisher, n.peer}; }

void Build(const json &doc, EncodeJob &job) {
    std::set<NlriKey> standing;
    Reader top(doc, "$");
    top.Allow({"session", "wide_community_code", "mss", "updates"});
    job.mss = static_cast<uint32_t>(top.Uint("mss", 1400, 65495));
    if (job.mss == 0) throw Bad{"$.mss: must be at least 1"};
    const uint8_t wcCode = job.wcCode =
        static_cast<uint8_t>(top.Uint("wide_community_code", rpdwire::kAttrWideCommunity, 255));
    if (top.Has("session")) {
        Reader s(top.At("session"), "$.session");
        s.Allow({"peer_address", "peer_as", "local_address", "local_as", "time"});
        job.endpoints.peerAddr = s.Str("peer_address", job.endpoints.peerAddr);
        job.endpoints.localAddr = s.Str("local_address", job.endpoints.localAddr);
        job.endpoints.peerAs = static_cast<uint32_t>(s.Uint("peer_as", job.endpoints.peerAs, 0xFFFFFFFFu));
        job.endpoints.localAs = static_cast<uint32_t>(s.Uint("local_as", job.endpoints.localAs, 0xFFFFFFFFu));
        job.endpoints.time = static_cast<uint32_t>(s.Uint("time", job.endpoints.time, 0xFFFFFFFFu));
        const int peerFamily = Family(job.endpoints.peerAddr), localFamily = Family(job.endpoints.localAddr);
        if (peerFamily == 0) throw Bad{"$.session.peer_address: expected an IPv4 or IPv6 address"};
        if (localFamily == 0) throw Bad{"$.session.local_address: expected an IPv4 or IPv6 address"};
        if (peerFamily != localFamily)
            throw Bad{"$.session.local_address: must be of the same family as peer_address (both IPv4 or both IPv6)"};
    }
    if (job.senderAs != 0) job.endpoints.peerAs = job.senderAs;
    if (!top.Has("updates")) throw Bad{"$.updates: missing"};
    size_t i = 0;
    for (const json &u : Array(top.At("updates"), "$.updates")) {
        const std::string up = "$.updates[" + std::to_string(i++) + "]";
        Reader r(u, up);
        r.Allow({"announce", "withdraw", "next_hop", "origin_as", "policy", "raw_policy", "prefixes"});
        rpdwire::Update upd;
        upd.wcAttrCode = wcCode;
        if (r.Has("announce")) upd.announce = NlrisOf(r.At("announce"), r.Path("announce"));
        if (r.Has("withdraw")) upd.withdraw = NlrisOf(r.At("withdraw"), r.Path("withdraw"));
        upd.nextHop = r.Has("next_hop") ? Ipv4(r.Str("next_hop", ""), r.Path("next_hop")) : 0;
        if (r.Has("prefixes")) {
            size_t k = 0;
            for (const json &p : Array(r.At("prefixes"), r.Path("prefixes"))) {
                const std::string pp = r.Path("prefixes") + "[" + std::to_string(k++) + "]";
                if (!p.is_string()) throw Bad{pp + ": expected a prefix such as \"10.0.0.0/8\""};
                auto &[addr, len] = upd.ipv4.emplace_back();
                PrefixOf(p.get<std::string>(), pp, addr, len);
            }
        }
        upd.originAs = static_cast<uint32_t>(r.Uint("origin_as", job.endpoints.peerAs, 0xFFFFFFFFu));
        if (r.Has("policy") && r.Has("raw_policy")) throw Bad{up + ": give policy or raw_policy, not both"};
        if (r.Has("policy")) {
            upd.hasPolicy = true;
            upd.wideCommunity = rpdwire::Encode(PolicyOf(r.At("policy"), r.Path("policy")));
        } else if (r.Has("raw_policy")) {
            upd.hasPolicy = true;
            upd.wideCommunity = HexBytes(r.Str("raw_policy", ""), r.Path("raw_policy"));
        }
        if (upd.wideCommunity.size() > 0xFFFF) throw Bad{up + ": the policy does not fit a path attribute"};
        rpdwire::Bytes msg = rpdwire::BuildUpdate(upd);
        if (msg.size() > 0xFFFF) throw Bad{up + ": the UPDATE exceeds 65535 bytes"};
        job.messages.push_back(std::move(msg));
        for (const rpdwire::RpdNlri &n : upd.withdraw) standing.erase(KeyOf(n));
        for (const rpdwire::RpdNlri &n : upd.announce) standing.insert(KeyOf(n));
    }
    for (const auto &[type, distinguisher, peer] : standing) job.standing.push_back({distinguisher, peer, type});
}

// rpd-host --json output: route and policy records, one per line. The
// records of one message (same file and message number) become one UPDATE:
// its announcements with their policy, its withdrawals.
void BuildFromRecordList(const std::vector<json> &records, const std::vector<size_t> &lines, EncodeJob &job) {
    json updates = json::array();
    std::string lastFile;
    uint64_t lastMessage = 0;
    for (size_t n = 0; n < records.size(); ++n) {
        const json &rec = records[n];
        const std::string path = "line " + std::to_string(lines.empty() ? n + 1 : lines[n]);
        if (!rec.is_object()) throw Bad{path + ": not a JSON record"};
        const std::string type = rec.value("type", "");
        if (type != "route" && type != "policy") continue;  // events, problems, the summary: nothing to send
        const std::string file = rec.value("file", "");
        const uint64_t message = rec.value("message", uint64_t{0});
        if (updates.empty() || file != lastFile || message != lastMessage) updates.push_back(json::object());
        lastFile = file;
        lastMessage = message;
        json &u = updates.back();
        if (rec.contains("policy") && !u.contains("policy")) u["policy"] = rec["policy"];
        // The message's IPv4 prefixes, when the record lists them all.
        if (rec.contains("prefixes") && !u.contains("prefixes") && rec["prefixes"].is_array() &&
            rec.value("prefix_count", uint64_t{0}) == rec["prefixes"].size())
            u["prefixes"] = rec["prefixes"];
        if (type == "route") {
            if (!rec.contains("key")) throw Bad{path + ".key: missing"};
            u[rec.value("action", "") == "withdraw" ? "withdraw" : "announce"].push_back(rec["key"]);
        }
    }
    if (updates.empty()) throw Bad{"no route or policy record to encode"};
    Build(json{{"updates", std::move(updates)}}, job);
}

void BuildFromRecords(const std::string &text, EncodeJob &job) {
    std::vector<json> records;
    std::vector<size_t> lines;
    std::istringstream in(text);
    std::string line;
    for (size_t n = 1; std::getline(in, line); ++n) {
        if (line.find_first_not_of(" \t\r") == std::string::npos) continue;
        json rec = json::parse(line, nullptr, false);
        if (rec.is_discarded() || !rec.is_object()) throw Bad{"line " + std::to_string(n) + ": not a JSON record"};
        records.push_back(std::move(rec));
        lines.push_back(n);
    }
    BuildFromRecordList(records, lines, job);
}

}  // namespace

std::vector<rpdwire::Bytes> Withdrawals(const std::vector<rpdwire::RpdNlri> &routes) {
    // 300 routes of 10 bytes keep an UPDATE well inside the 4096 bytes every speaker takes.
    constexpr size_t kPerUpdate = 300;
    std::vector<rpdwire::Bytes> out;
    for (size_t at = 0; at < routes.size(); at += kPerUpdate) {
        rpdwire::Update u;
        u.withdraw.assign(routes.begin() + static_cast<std::ptrdiff_t>(at),
                          routes.begin() + static_cast<std::ptrdiff_t>(std::min(routes.size(), at + kPerUpdate)));
        out.push_back(rpdwire::BuildUpdate(u));
    }
    return out;
}

// Runs `build`; a refusal in it becomes `err` and false.
template <typename F> bool Refusal(F &&build, std::string &err) {
    try {
        build();
    } catch (const Bad &b) {
        err = b.what;
        return false;
    } catch (const json::exception &e) {
        err = e.what();
        return false;
    }
    return true;
}

bool BuildFromRecords(const std::vector<json> &records, EncodeJob &job, std::string &err) {
    return Refusal([&] { BuildFromRecordList(records, {}, job); }, err);
}

bool BuildFromJson(const std::string &text, EncodeJob &job, std::string &err) {
    json doc = json::parse(text, nullptr, false);
    // A description has "updates"; anything else is taken as records, one per line.
    const bool records = doc.is_discarded() ? text.find('\n') != std::string::npos : doc.is_object() && doc.contains("type");
    if (doc.is_discarded() && !records) {
        err = "not valid JSON";
        return false;
    }
    return Refusal([&] { records ? BuildFromRecords(text, job) : Build(doc, job); }, err);
}

}  // namespace rpdhost
