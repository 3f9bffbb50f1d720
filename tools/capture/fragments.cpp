#include "fragments.h"

#include <algorithm>

namespace rpdhost {

namespace {

constexpr size_t kMaxFragments = 128;   // fragments of one datagram
constexpr size_t kMaxDatagram = 65535;  // payload bytes of one datagram

std::string Key(const Datagram &d, uint32_t id) {
    std::string k(reinterpret_cast<const char *>(d.src), 16);
    k.append(reinterpret_cast<const char *>(d.dst), 16);
    for (int s = 24; s >= 0; s -= 8) k.push_back(static_cast<char>(id >> s));
    k.push_back(static_cast<char>(d.v6 ? 6 : 4));
    k.push_back(static_cast<char>(d.proto));
    return k;
}

}  // namespace

bool Fragments::Add(const Datagram &head, uint32_t id, size_t offset, bool more, Datagram &whole, Bytes &buffer) {
    if (offset + head.len > kMaxDatagram) {
        ctx_.Skip("IP fragments past the largest datagram", true);
        return false;
    }
    const std::string key = Key(head, id);
    auto it = pending_.find(key);
    if (it == pending_.end()) {
        it = pending_.emplace(key, Pending{}).first;
        it->second.head = head;
        it->second.age = memory_.Tick();
        it->second.cost = HeldMemory::kEntryCost;
        memory_.Charge(it->second.cost);
        byAge_[it->second.age] = key;
    }
    Pending &p = it->second;
    if (!more) p.total = offset + head.len;
    if (++p.count > kMaxFragments) {
        Forget(it, "IP datagrams of too many fragments");
        return false;
    }
    auto [part, fresh] = p.parts.try_emplace(offset);
    if (part->second.size() < head.len) {
        const size_t grow = head.len - part->second.size() + (fresh ? HeldMemory::kPieceCost : 0);
        p.cost += grow;
        memory_.Charge(grow);
        part->second.assign(head.payload, head.payload + head.len);
    }
    if (p.total == SIZE_MAX) return false;
    // Whole when the parts cover [0, total) without a hole.
    size_t covered = 0;
    for (const auto &[at, bytes] : p.parts) {
        if (at > covered) return false;
        covered = std::max(covered, at + bytes.size());
    }
    if (covered < p.total) return false;
    buffer.assign(p.total, 0);
    for (const auto &[at, bytes] : p.parts) {
        const size_t n = std::min(bytes.size(), p.total - std::min(at, p.total));
        std::copy(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(n), buffer.begin() + static_cast<std::ptrdiff_t>(at));
    }
    whole = p.head;
    whole.payload = buffer.data();
    whole.len = buffer.size();
    whole.cut = false;
    memory_.Release(p.cost);
    byAge_.erase(p.age);
    pending_.erase(it);
    return true;
}

void Fragments::Forget(std::map<std::string, Pending>::iterator it, const char *why) {
    ctx_.Skip(why, true);
    memory_.Release(it->second.cost);
    byAge_.erase(it->second.age);
    pending_.erase(it);
}

void Fragments::EvictOldest() {
    if (!byAge_.empty())
        Forget(pending_.find(byAge_.begin()->second), "IP datagrams given up to stay within the capture memory budget");
}

void Fragments::Finish() {
    while (!pending_.empty()) Forget(pending_.begin(), "IP datagrams whose fragments never all came");
}

}  // namespace rpdhost
