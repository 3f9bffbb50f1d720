#include "nats_publisher.h"

#include <algorithm>
#include <chrono>
#include <thread>

#include "clock.h"
#include "net.h"

namespace rpdhost {

namespace {

// Publishing waits this long at a time for room in the window, so that a stop signal is seen.
constexpr int64_t kStallMs = 100;
// A message that lost its acknowledgement goes again after a pause: this
// one at first, twice as long for each pause that ends in failures again,
// up to the longest, and this one again once an acknowledgement comes.
constexpr double kRetryPause = 0.25;
constexpr double kLongestRetryPause = 2.0;
// A message holds at most this many records, and at most this many bytes (well under a server's limit).
constexpr uint64_t kBatchRecords = 64;
constexpr size_t kBatchBytes = 256 * 1024;

// The records in a message: its lines.
uint64_t Records(natsMsg *m) {
    const char *p = natsMsg_GetData(m);
    uint64_t n = 0;
    for (int i = 0; i < natsMsg_GetDataLength(m); ++i) n += p[i] == '\n';
    return n;
}

// A record that cannot be published as it stands, however long one waits.
bool Permanent(natsStatus s) { return s == NATS_MAX_PAYLOAD || s == NATS_INVALID_ARG || s == NATS_INVALID_SUBJECT; }

bool FindOrCreateStream(jsCtx *js, const PublishOptions &o, const std::string &prefix, std::string &err) {
    jsStreamInfo *si = nullptr;
    jsErrCode jerr = static_cast<jsErrCode>(0);
    natsStatus s = js_GetStreamInfo(&si, js, o.stream.c_str(), nullptr, &jerr);
    if (s == NATS_OK) {
        jsStreamInfo_Destroy(si);
        return true;
    }
    if (s != NATS_NOT_FOUND && jerr != JSStreamNotFoundErr) {
        err = NatsError(s, ("cannot look up stream " + o.stream).c_str());
        return false;
    }
    jsStreamConfig cfg;
    jsStreamConfig_Init(&cfg);
    const std::string subjects = prefix + ".>";
    const char *list[] = {subjects.c_str()};
    cfg.Name = o.stream.c_str();
    cfg.Subjects = list;
    cfg.SubjectsLen = 1;
    cfg.Storage = js_FileStorage;
    cfg.Replicas = o.replicas;
    cfg.Duplicates = int64_t{120} * 1000 * 1000 * 1000;  // the window in which a message id is known again
    s = js_AddStream(&si, js, &cfg, nullptr, &jerr);
    if (s == NATS_OK || jerr == JSStreamNameExistErr) {  // or another station made it first
        jsStreamInfo_Destroy(si);
        return true;
    }
    err = NatsError(s, ("cannot create stream " + o.stream + " for " + subjects).c_str());
    return false;
}

}  // namespace

NatsPublisher::~NatsPublisher() {
    if (link_.js() != nullptr) {
        natsMsgList pending{};
        if (js_PublishAsyncGetPendingList(&pending, link_.js()) == NATS_OK) natsMsgList_Destroy(&pending);
    }
    link_.Close();  // before what waits is freed: no late acknowledgement is to reach it
    for (const Again &a : again_) natsMsg_Destroy(a.msg);
}

bool NatsPublisher::Open(const PublishOptions &o, std::string &err) {
    o_ = o;
    prefix_ = o.subject;
    retryPause_ = kRetryPause;
    // The run's own ids: a station started again must not have its records taken for duplicates.
    const auto start = std::chrono::duration_cast<std::chrono::microseconds>(
                           std::chrono::system_clock::now().time_since_epoch()).count();
    idPrefix_ = o.station + "/" + std::to_string(start) + "/";
    jsOptions jo;
    jsOptions_Init(&jo);
    jo.PublishAsync.MaxPending = std::max<int64_t>(1, o.window / static_cast<int64_t>(kBatchRecords));
    jo.PublishAsync.AckHandler = &NatsPublisher::OnAck;
    jo.PublishAsync.AckHandlerClosure = this;
    jo.PublishAsync.StallWait = kStallMs;
    if (!link_.Open(o.servers, o.connectMs, &jo, o.patient, err)) return false;
    if (!link_.Connected()) return true;  // patient: the stream is found once a server answers
    if (!FindOrCreateStream(link_.js(), o, prefix_, err)) return false;
    maxPayload_ = natsConnection_GetMaxPayload(link_.nc());
    streamReady_ = true;
    return true;
}

bool NatsPublisher::EnsureStream() {
    if (streamReady_) return true;
    const double now = Now();
    if (now < nextStreamTry_ || !link_.Connected()) return false;
    nextStreamTry_ = now + kRetryPause;
    std::string err;
    if (!FindOrCreateStream(link_.js(), o_, prefix_, err)) return false;  // a cluster still electing: later
    maxPayload_ = natsConnection_GetMaxPayload(link_.nc());
    streamReady_ = true;
    return true;
}

// The library's thread: what was acknowledged is done, what lost its
// acknowledgement (a timeout, a server gone) waits to be published again,
// and what the stream refused is dropped and counted.
void NatsPublisher::OnAck(jsCtx *, natsMsg *msg, jsPubAck *pa, jsPubAckErr *pae, void *self) {
    auto &p = *static_cast<NatsPublisher *>(self);
    std::lock_guard<std::mutex> hold(p.mu_);
    if (pa != nullptr) {
        ++p.counts_.acknowledged;
        p.retryPause_ = kRetryPause;
    } else if (pae != nullptr && pae->ErrCode != 0) {
        p.counts_.refused += Records(msg);
        p.refusal_ = pae->ErrText != nullptr ? pae->ErrText : "refused";
    } else {
        const double now = Now();
        if (now >= p.pauseSince_ + p.retryPause_) {  // the last pause is over, and still failures
            if (p.pauseSince_ > 0) p.retryPause_ = std::min(2 * p.retryPause_, kLongestRetryPause);
            p.pauseSince_ = now;
        }
        const uint64_t records = Records(msg);
        p.again_.push_back({msg, now + p.retryPause_, records, true});
        p.againRecords_ += records;
        return;
    }
    natsMsg_Destroy(msg);
}

natsStatus NatsPublisher::Send(natsMsg *&m) {
    jsPubOptions po;
    jsPubOptions_Init(&po);
    po.MaxWait = o_.ackWaitMs;
    return js_PublishMsgAsync(link_.js(), &m, &po);
}

bool NatsPublisher::Republish() {
    if (!EnsureStream()) return false;
    const double now = Now();
    for (;;) {
        Again a{};
        {
            std::lock_guard<std::mutex> hold(mu_);
            if (again_.empty()) return true;
            if (again_.front().notBefore > now) return false;  // its pause is not over
            a = again_.front();
            again_.pop_front();
            againRecords_ -= a.records;
        }
        const natsStatus s = Send(a.msg);
        std::lock_guard<std::mutex> hold(mu_);
        if (s == NATS_OK) {
            counts_.republished += a.sentBefore;
            continue;
        }
        if (Permanent(s)) {  // held before the server's limit was known
            counts_.tooLarge += a.records;
            natsMsg_Destroy(a.msg);
            continue;
        }
        again_.push_front(a);  // no room yet, or no server: later
        againRecords_ += a.records;
        return false;
    }
}

void NatsPublisher::Put(const RecordTag &tag, std::string &line) {
    std::string subject = prefix_ + "." + SubjectToken(o_.station) + "." + SubjectToken(std::string(tag.router)) + "." +
                          tag.type;
    // Nothing can carry a record above the server's limit: it is counted, not sent.
    if (maxPayload_ > 0 && static_cast<int64_t>(line.size()) + 1 > maxPayload_) {
        std::lock_guard<std::mutex> hold(mu_);
        ++counts_.tooLarge;
        return;
    }
    if (batchRecords_ > 0 && (subject != subject_ || batch_.size() + line.size() + 1 > kBatchBytes ||
                              (maxPayload_ > 0 && static_cast<int64_t>(batch_.size() + line.size() + 1) > maxPayload_)))
        SendBatch();
    if (batchRecords_ == 0) subject_ = std::move(subject);
    (batch_ += line) += '\n';
    if (++batchRecords_ == kBatchRecords) SendBatch();
}

void NatsPublisher::Flush() {
    if (batchRecords_ > 0) SendBatch();
}

void NatsPublisher::SendBatch() {
    const std::string id = idPrefix_ + std::to_string(++sequence_);
    const uint64_t records = batchRecords_;
    natsMsg *m = nullptr;
    natsStatus s = natsMsg_Create(&m, subject_.c_str(), nullptr, batch_.data(), static_cast<int>(batch_.size()));
    batch_.clear();
    batchRecords_ = 0;
    if (s == NATS_OK) s = natsMsgHeader_Set(m, "Nats-Msg-Id", id.c_str());
    while (s == NATS_OK) {
        // What waits goes first, so the stream keeps the station's order.
        if (Republish()) {
            s = Send(m);
            if (s == NATS_OK || Permanent(s)) break;
        }
        // Nothing goes out yet: the message waits with the others while the
        // window has room; past it, so does the station, and with it the
        // routers. A stop signal leaves it to the final flush.
        {
            std::lock_guard<std::mutex> hold(mu_);
            if (againRecords_ + records <= static_cast<uint64_t>(o_.window) || StopRequested()) {
                again_.push_back({m, 0, records, false});
                againRecords_ += records;
                counts_.published += records;
                return;
            }
        }
        s = NATS_OK;  // a full window or no server is no refusal: try again
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    std::lock_guard<std::mutex> hold(mu_);
    if (s == NATS_OK) {
        counts_.published += records;
        return;
    }
    counts_.refused += records;
    refusal_ = natsStatus_GetText(s);
    natsMsg_Destroy(m);
}

uint64_t NatsPublisher::Finish(int64_t ms) {
    Flush();
    const double end = Now() + static_cast<double>(ms) / 1000;
    for (;;) {
        const bool sent = Republish();
        jsPubOptions po;
        jsPubOptions_Init(&po);
        po.MaxWait = kStallMs;
        const natsStatus s = js_PublishAsyncComplete(link_.js(), &po);
        if (s == NATS_OK && sent) {
            std::lock_guard<std::mutex> hold(mu_);
            if (again_.empty()) return 0;
        }
        if (Now() >= end) break;
        if (s != NATS_TIMEOUT) std::this_thread::sleep_for(std::chrono::milliseconds(kStallMs));
    }
    natsMsgList pending{};
    uint64_t left = 0;
    if (js_PublishAsyncGetPendingList(&pending, link_.js()) == NATS_OK) {
        for (int i = 0; i < pending.Count; ++i) left += Records(pending.Msgs[i]);
        natsMsgList_Destroy(&pending);
    }
    std::lock_guard<std::mutex> hold(mu_);
    return left + againRecords_;
}

PublishCounts NatsPublisher::Counts() const {
    std::lock_guard<std::mutex> hold(mu_);
    return counts_;
}

std::string NatsPublisher::Refusal() const {
    std::lock_guard<std::mutex> hold(mu_);
    return refusal_;
}

void NatsPublisher::Tally(Summary &s) const {
    const PublishCounts c = Counts();
    if (c.tooLarge > 0) s.skipped["records larger than the NATS server's limit, not published"] = {c.tooLarge, true};
    if (c.refused > 0) s.skipped["records the JetStream stream refused (" + Refusal() + ")"] = {c.refused, true};
}

}  // namespace rpdhost
