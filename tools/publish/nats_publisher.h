// --publish: the JSON records into a NATS JetStream stream, each under
// PREFIX.STATION.ROUTER.TYPE and with a message id of the station's own
// (its name, the start of its run, a sequence), so that a record published
// again after an acknowledgement was lost is dropped by the stream's
// duplicate window: each record is in the stream once.
//
// Records of one subject in a row travel together: a NATS message holds up
// to 64 of them, one JSON record per line, and goes when the next record's
// subject differs, when it is full, or when the run waits for input; so the
// stream keeps the records' order, and a quiet station sends at once.
//
// Publishing is asynchronous within a bounded window of unacknowledged
// records. A record whose acknowledgement does not come in time is
// published again, through reconnections to any server of the list. A full
// window makes Put wait, and so the station stops reading from its routers
// (their TCP connections back up) rather than drop anything. What is
// dropped anyway (a record above the server's size limit, one the stream
// refuses) is counted in the summary and reported.
#pragma once

#include <atomic>
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <vector>

#include "nats_link.h"
#include "record_out.h"

namespace rpdhost {

struct PublishOptions {
    std::vector<std::string> servers;  // nats:// URLs
    std::string stream = "RPD";        // created (file storage) when absent
    std::string subject = "rpd";       // the prefix of every subject
    std::string station;               // names the station in subjects and message ids
    int replicas = 1;                  // of a stream it creates
    int64_t window = 4096;             // unacknowledged records at most
    int64_t ackWaitMs = 2000;          // unacknowledged this long: published again
    int64_t connectMs = 5000;          // for the first server to answer
    // No server answering at the start is no failure (a station): records
    // wait, within the window, until one answers and the stream is there.
    bool patient = false;
};

// What became of the records, for the summary and the report at the end.
struct PublishCounts {
    uint64_t published = 0;      // records handed to the server (republications not counted again)
    uint64_t acknowledged = 0;   // messages in the stream (duplicates included: already there)
    uint64_t republished = 0;    // messages sent again after a lost or late acknowledgement
    uint64_t tooLarge = 0;       // above the server's size limit: dropped
    uint64_t refused = 0;        // records refused by the stream: dropped
};

class NatsPublisher : public RecordOut {
public:
    NatsPublisher() = default;
    ~NatsPublisher() override;

    // Connects and finds or creates the stream; false with the reason.
    // When patient and no server answers yet, both are left for later.
    bool Open(const PublishOptions &o, std::string &err);
    // Whether the stream has been found or made: records are going out.
    bool StreamReady() const { return streamReady_; }
    void Put(const RecordTag &tag, std::string &line) override;
    void Flush() override;
    void Tally(Summary &s) const override;
    // Sends what it holds, then waits at most `ms` for every message to be
    // acknowledged (publishing again what needs it); how many records are
    // left unacknowledged.
    uint64_t Finish(int64_t ms);
    PublishCounts Counts() const;
    // What the stream refused last ("" when it refused nothing).
    std::string Refusal() const;

private:
    static void OnAck(jsCtx *js, natsMsg *msg, jsPubAck *pa, jsPubAckErr *pae, void *self);
    // Finds or makes the stream once a server answers (a try at a time, paced).
    bool EnsureStream();
    // Publishes what waits, in order; false while something still waits.
    bool Republish();
    // One publication; the message is the library's once this returns NATS_OK.
    natsStatus Send(natsMsg *&m);
    // Publishes the batch being filled, waiting for room as long as it takes.
    void SendBatch();

    PublishOptions o_;
    NatsLink link_;
    std::string prefix_, idPrefix_;
    uint64_t sequence_ = 0;
    std::string subject_, batch_;  // the records being gathered, and their subject
    uint64_t batchRecords_ = 0;
    int64_t maxPayload_ = 0;
    bool streamReady_ = false;
    double nextStreamTry_ = 0;
    mutable std::mutex mu_;        // the acknowledgement thread's side
    // To publish (again), ours to destroy, each not before its time: a
    // cluster electing a new leader refuses at once, and is not to be
    // hammered meanwhile. Before the stream is there, every message waits here.
    struct Again {
        natsMsg *msg;
        double notBefore;
        uint64_t records;
        bool sentBefore;  // lost its acknowledgement (else held from the start)
    };
    std::deque<Again> again_;
    uint64_t againRecords_ = 0;
    double retryPause_ = 0, pauseSince_ = 0;  // backing off while failures go on (set by Open)
    std::string refusal_;
    PublishCounts counts_;         // under mu_
};

}  // namespace rpdhost
