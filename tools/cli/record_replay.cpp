#include "record_replay.h"

#include <nlohmann/json.hpp>

#include "encode.h"
#include "record_fields.h"
#include "textual.h"

namespace rpdhost {

namespace {

using json = nlohmann::json;

std::string InputName(const std::string &station, const std::string &file) {
    return station.empty() ? file : station + ": " + file;
}

}  // namespace

void RecordReplay::Input(const std::string &station, const std::string &file) {
    const std::string name = InputName(station, file);
    if (name == input_) return;
    input_ = name;
    if (station.empty()) sink_.OnInput(file);
    else sink_.OnStationInput(station, file);
}

void RecordReplay::Unreadable(const std::string &what) {
    ++unreadable_;
    InputProblem p;
    p.what = what;
    p.kind = "stream";
    sink_.OnProblem(p);
}

void RecordReplay::Put(std::string_view line) {
    json r = json::parse(line, nullptr, false);
    if (!r.is_object()) {
        Emit();  // in stream order: the message before it
        return Unreadable("a message of the stream holds a line that is not a JSON record");
    }
    const std::string type = TextField(r, "type"), station = TextField(r, "station"), file = TextField(r, "file");
    if (type == "route" || type == "policy") {
        const std::string key = station + '\n' + file + '\n' + std::to_string(NumberField(r, "message"));
        if (key != groupKey_) Emit();
        if (group_.empty()) {  // the message's first record says where it came from
            groupKey_ = key;
            station_ = station;
            file_ = file;
            head_ = Message();
            head_.number = NumberField(r, "message");
            head_.offset = NumberField(r, "offset");
            head_.frame = NumberField(r, "frame");
            head_.where = TextField(r, "stream");
            head_.peer = TextField(r, "peer");
            head_.peerAs = static_cast<uint32_t>(NumberField(r, "peer_as"));
            head_.router = TextField(r, "router");
            head_.rib = TextField(r, "rib");
            head_.hasTime = ParseTimeText(TextField(r, "time"), head_.sec, head_.usec);
            head_.rebuilt = r.value("rib_entry", false);
        }
        group_.push_back(std::move(r));
        return;
    }
    Emit();  // in stream order: the message before what follows it
    if (type == "event") {
        Input(station, file);
        InputEvent e;
        e.offset = NumberField(r, "offset");
        e.peer = TextField(r, "peer");
        e.peerAs = static_cast<uint32_t>(NumberField(r, "peer_as"));
        e.hasTime = ParseTimeText(TextField(r, "time"), e.sec, e.usec);
        e.what = TextField(r, "event");
        e.router = TextField(r, "router");
        e.ends = EndsOf(TextField(r, "ends"));
        sink_.OnEvent(e);
    } else if (type == "problem") {
        Input(station, file);
        InputProblem p;
        p.number = NumberField(r, "message");
        p.offset = NumberField(r, "offset");
        p.frame = NumberField(r, "frame");
        p.where = TextField(r, "stream");
        p.what = TextField(r, "what");
        p.kind = "at the station: " + TextField(r, "status");
        sink_.OnProblem(p);
    }
    // The station's summary counts its own input; the run makes its own.
}

void RecordReplay::Emit() {
    if (group_.empty()) return;
    EncodeJob job;
    std::string err;
    const bool built = BuildFromRecords(group_, job, err) && job.messages.size() == 1;
    group_.clear();
    groupKey_.clear();
    Input(station_, file_);
    if (!built) return Unreadable("records of message " + std::to_string(head_.number) +
                                  " cannot be encoded back: " + (err.empty() ? "not one UPDATE" : err));
    head_.bytes = std::move(job.messages.front());
    sink_.OnMessage(head_);
}

}  // namespace rpdhost
