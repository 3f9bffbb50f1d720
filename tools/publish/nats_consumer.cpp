#include "nats_consumer.h"

#include <unistd.h>

#include <algorithm>
#include <chrono>

#include "nats_link.h"
#include "net.h"

namespace rpdhost {

namespace {

constexpr int kBatch = 256;
constexpr int64_t kFetchMs = 500;
constexpr int kSubscribeAttempts = 6;  // of the JetStream context's 5 s each

// Owns a subscription and what it fetched; a consumer of this run alone
// goes with it.
struct Subscription {
    ~Subscription() {
        natsMsgList_Destroy(&batch);
        natsSubscription_Destroy(sub);
        if (!durable && js != nullptr) js_DeleteConsumer(js, stream.c_str(), name.c_str(), nullptr, nullptr);
    }
    jsCtx *js = nullptr;
    std::string stream, name;
    bool durable = false;
    natsSubscription *sub = nullptr;
    natsMsgList batch{};
};

// Whether nothing is left for the consumer: nothing waiting to be delivered.
bool Drained(const Subscription &s) {
    jsConsumerInfo *ci = nullptr;
    if (js_GetConsumerInfo(&ci, s.js, s.stream.c_str(), s.name.c_str(), nullptr, nullptr) != NATS_OK) return false;
    const bool drained = ci->NumPending == 0;
    jsConsumerInfo_Destroy(ci);
    return drained;
}

// A name for a consumer of this run alone, which the server drops if the run dies.
std::string RunConsumerName() {
    const auto now = std::chrono::duration_cast<std::chrono::microseconds>(
                         std::chrono::system_clock::now().time_since_epoch()).count();
    return "rpd-host_" + std::to_string(getpid()) + "_" + std::to_string(now);
}

}  // namespace

bool Consume(const ConsumeOptions &o, const std::function<void(std::string_view)> &record, std::string &err) {
    NatsLink link;
    if (!link.Open(o.servers, o.connectMs, nullptr, false, err)) return false;
    jsSubOptions so;
    jsSubOptions_Init(&so);
    so.Stream = o.stream.c_str();
    so.Config.AckPolicy = js_AckExplicit;
    if (o.sinceNs > 0) {
        so.Config.DeliverPolicy = js_DeliverByStartTime;
        so.Config.OptStartTime = o.sinceNs;
    }
    Subscription s;
    s.js = link.js();
    s.stream = o.stream;
    s.durable = !o.durable.empty();
    s.name = s.durable ? o.durable : RunConsumerName();
    if (!s.durable) so.Config.InactiveThreshold = int64_t{60} * 1000 * 1000 * 1000;
    jsErrCode jerr = static_cast<jsErrCode>(0);
    // A prefix means everything under it; a subject with wildcards, what it matches.
    const std::string subjects = o.subjects.find_first_of("*>") != std::string::npos ? o.subjects : o.subjects + ".>";
    // A cluster that lost a node answers once it has elected new leaders: a
    // few seconds, which the subscription waits out.
    natsStatus st = NATS_TIMEOUT;
    for (int attempt = 0; attempt < kSubscribeAttempts && st == NATS_TIMEOUT && !StopRequested(); ++attempt)
        st = js_PullSubscribe(&s.sub, link.js(), subjects.c_str(), s.name.c_str(), nullptr, &so, &jerr);
    if (st != NATS_OK) {
        err = NatsError(st, ("cannot read stream " + o.stream).c_str());
        return false;
    }
    while (!StopRequested()) {
        natsMsgList_Destroy(&s.batch);
        st = natsSubscription_Fetch(&s.batch, s.sub, kBatch, kFetchMs, &jerr);
        if (st == NATS_TIMEOUT || (st == NATS_OK && s.batch.Count == 0)) {
            if (!o.follow && Drained(s)) return true;
            continue;
        }
        if (st != NATS_OK) {
            err = NatsError(st, ("reading stream " + o.stream).c_str());
            return false;
        }
        uint64_t left = 1;
        for (int i = 0; i < s.batch.Count; ++i) {
            natsMsg *m = s.batch.Msgs[i];
            // A message holds records of one subject, one per line.
            std::string_view data(natsMsg_GetData(m), static_cast<size_t>(natsMsg_GetDataLength(m)));
            while (!data.empty()) {
                const size_t eol = std::min(data.find('\n'), data.size());
                if (eol > 0) record(data.substr(0, eol));
                data.remove_prefix(std::min(eol + 1, data.size()));
            }
            natsMsg_Ack(m, nullptr);
            jsMsgMetaData *meta = nullptr;
            if (i + 1 == s.batch.Count && natsMsg_GetMetaData(&meta, m) == NATS_OK) {
                left = meta->NumPending;
                jsMsgMetaData_Destroy(meta);
            }
        }
        if (!o.follow && left == 0) return true;
    }
    return true;
}

}  // namespace rpdhost
