// --table: the RPD routes in force at the end of the input, or at a time:
// for each station, router, peer, the router's table it reports (BMP's pre-
// and post-policy Adj-RIB-In keep routes apart) and route key, the policy
// that stands.
// The records are applied in the order they come: an announcement sets a
// route, a withdrawal removes it, and an event that ends a peer's session
// (or a router's stream) removes that peer's (or router's) routes. The
// table reads the JSON records, so files, the live modes and a stream read
// back with consume all build it the same way.
#pragma once

#include <cstdint>
#include <cstdio>
#include <map>
#include <string>
#include <tuple>

#include "record_out.h"

namespace rpdhost {

class RouteTable : public RecordOut {
public:
    // `at`: the time the table is wanted for, as records write it
    // ("2026-12-08T10:00:00.000000Z"); "" for the end. Records stamped later
    // are left out.
    explicit RouteTable(std::string at = "") : at_(std::move(at)) {}
    // A tag without a type (records read back from a stream): the record's own.
    void Put(const RecordTag &tag, std::string &line) override;
    // The routes in force: as text, or as JSON records (one "table_route"
    // each, then one "table").
    void Print(FILE *out, bool json) const;
    size_t size() const { return routes_.size(); }
    // Records that were not JSON of ours, and so not applied.
    uint64_t unreadable() const { return unreadable_; }

private:
    struct Key {
        std::string station, router, peer, rib;
        uint32_t policyType = 0, distinguisher = 0;
        std::string keyPeer;
        bool operator<(const Key &o) const {
            return std::tie(station, router, peer, rib, policyType, distinguisher, keyPeer) <
                   std::tie(o.station, o.router, o.peer, o.rib, o.policyType, o.distinguisher, o.keyPeer);
        }
    };
    // The rest of a route record, as it came ("policy" or "policy_status" included).
    using Record = std::string;

    std::map<Key, Record> routes_;
    std::string at_;
    std::string last_;  // the time of the latest record that had one
    uint64_t unreadable_ = 0;
};

}  // namespace rpdhost
