// --table: which routes stand after a run of records.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "route_table.h"

namespace rpdhost {
namespace {

struct Rec {
    const char *type;
    std::string json;
};

// A route record as the JSON output writes it (the fields the table reads).
Rec Route(const char *action, const char *router, const char *peer, uint32_t distinguisher, const char *time,
          const char *station = "", const char *rib = "") {
    std::string j = std::string(R"({"type":"route")") + (*station ? std::string(R"(,"station":")") + station + "\"" : "") +
                    R"(,"file":"f","message":1,"peer":")" + peer + "\"" +
                    (*router ? std::string(R"(,"router":")") + router + "\"" : "") +
                    (*rib ? std::string(R"(,"rib":")") + rib + "\"" : "") +
                    (*time ? std::string(R"(,"time":")") + time + "\"" : "") + R"(,"action":")" + action +
                    R"(","key":{"policy_type":1,"distinguisher":)" + std::to_string(distinguisher) +
                    R"(,"peer":"10.0.0.1"},"text":"key )" + std::to_string(distinguisher) + "\"}";
    return {"route", j};
}

Rec Ends(const char *what, const char *router, const char *peer, const char *time, const char *station = "") {
    std::string j = std::string(R"({"type":"event")") + (*station ? std::string(R"(,"station":")") + station + "\"" : "") +
                    R"(,"file":"f","offset":0,"peer":")" + peer + R"(","router":")" + router + R"(","ends":")" + what +
                    "\"" + (*time ? std::string(R"(,"time":")") + time + "\"" : "") + R"(,"event":"e"})";
    return {"event", j};
}

// As read back from a stream: no type in the tag, the record's own.
Rec Untagged(Rec r) {
    r.type = "";
    return r;
}

// The routes left standing, as "router/peer/distinguisher[/rib]".
std::vector<std::string> Standing(const std::vector<Rec> &records, const std::string &at = "") {
    RouteTable t(at);
    for (const Rec &r : records) {
        std::string line = r.json;
        t.Put({r.type, {}}, line);
    }
    char *buf = nullptr;
    size_t len = 0;
    FILE *out = open_memstream(&buf, &len);
    t.Print(out, true);
    std::fclose(out);
    std::vector<std::string> keys;
    for (const char *p = buf; (p = std::strstr(p, R"("type":"table_route")")) != nullptr; ++p) {
        std::string router, peer, d;
        auto field = [&](const char *name) {
            const char *f = std::strstr(p, name);
            if (f == nullptr || std::strchr(p, '\n') < f) return std::string("-");
            f += std::strlen(name);
            return std::string(f, std::strcspn(f, "\",}"));
        };
        const std::string rib = field(R"("rib":")");
        keys.push_back(field(R"("router":")") + "/" + field(R"("peer":")") + "/" + field(R"("distinguisher":)") +
                       (rib == "-" ? "" : "/" + rib));
    }
    std::free(buf);
    return keys;
}

TEST(RouteTable, RecordsInOrderLeaveTheRoutesInForce) {
    const char *t1 = "2023-01-01T00:00:01.000000Z", *t2 = "2023-01-01T00:00:02.000000Z",
               *t3 = "2023-01-01T00:00:03.000000Z";
    struct Case {
        const char *what;
        std::vector<Rec> records;
        std::string at;
        std::vector<std::string> want;
    } cases[] = {
        {"a withdrawal removes its key only",
         {Route("announce", "r1", "p1", 1, t1), Route("announce", "r1", "p1", 2, t1), Route("withdraw", "r1", "p1", 1, t2)},
         "", {"r1/p1/2"}},
        {"an announcement again replaces, not adds",
         {Route("announce", "r1", "p1", 1, t1), Route("announce", "r1", "p1", 1, t2)}, "", {"r1/p1/1"}},
        {"a peer's session ending clears that peer at that router only",
         {Route("announce", "r1", "p1", 1, t1), Route("announce", "r1", "p2", 1, t1), Route("announce", "r2", "p1", 1, t1),
          Ends("peer", "r1", "p1", t2)},
         "", {"r1/p2/1", "r2/p1/1"}},
        {"a router's stream ending clears all its peers, not another station's router of that address",
         {Route("announce", "r1", "p1", 1, t1, "s1"), Route("announce", "r1", "p2", 1, t1, "s1"),
          Route("announce", "r1", "p1", 1, t1, "s2"), Ends("router", "r1", "", t2, "s1")},
         "", {"r1/p1/1"}},
        {"at a time: later records do not count",
         {Route("announce", "r1", "p1", 1, t1), Route("withdraw", "r1", "p1", 1, t3), Ends("router", "r1", "", t3)},
         t2, {"r1/p1/1"}},
        {"at a time: a record without one counts at the time of the record before it",
         {Route("announce", "r1", "p1", 1, t1), Route("announce", "r1", "p1", 2, t3), Ends("router", "r1", "", "")},
         t2, {"r1/p1/1"}},
        {"BMP's tables keep routes apart; a peer's end clears every table of it",
         {Route("announce", "r1", "p1", 1, t1, "", "pre-policy Adj-RIB-In"),
          Route("announce", "r1", "p1", 1, t1, "", "post-policy Adj-RIB-In"),
          Route("announce", "r1", "p2", 1, t1, "", "pre-policy Adj-RIB-In"),
          Route("withdraw", "r1", "p1", 1, t2, "", "pre-policy Adj-RIB-In")},
         "", {"r1/p1/1/post-policy Adj-RIB-In", "r1/p2/1/pre-policy Adj-RIB-In"}},
        {"", {Route("announce", "r1", "p1", 1, t1, "", "post-policy Adj-RIB-In"),
              Route("announce", "r1", "p2", 1, t1, "", "pre-policy Adj-RIB-In"), Ends("peer", "r1", "p1", t2)},
         "", {"r1/p2/1/pre-policy Adj-RIB-In"}},
        {"records read back carry their own type",
         {Untagged(Route("announce", "r1", "p1", 1, t1)), Untagged(Route("announce", "r1", "p1", 2, t1)),
          Untagged(Ends("peer", "r1", "p1", t2)), Untagged(Route("announce", "r1", "p1", 3, t3))},
         "", {"r1/p1/3"}},
        {"a withdrawal of a key never announced changes nothing",
         {Route("announce", "r1", "p1", 1, t1), Route("withdraw", "r1", "p1", 9, t2)}, "", {"r1/p1/1"}},
    };
    for (const Case &c : cases) EXPECT_EQ(Standing(c.records, c.at), c.want) << c.what;
}

TEST(RouteTable, ARecordThatIsNotJsonIsCountedAndChangesNothing) {
    RouteTable t;
    std::string good = Route("announce", "r1", "p1", 1, "").json, bad = R"({"type":"route",)";
    t.Put({"route", {}}, good);
    t.Put({"route", {}}, bad);
    EXPECT_EQ(t.size(), 1u);
    EXPECT_EQ(t.unreadable(), 1u);
}

}  // namespace
}  // namespace rpdhost
