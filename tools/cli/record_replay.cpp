#include "record_replay.h"

#include <ctime>
#include <nlohmann/json.hpp>

#include "encode.h"
#include "record_fields.h"

namespace rpdhost {

namespace {

using json = nlohmann::json;

std::string InputName(const std::string &station, const std::string &file) {
    return station.empty() ? file : station + ": " + file;
}

}  // namespace

bool ParseRecordTime(const std::string &text, int64_t &sec, uint32_t &usec) {
    std::tm t{};
    unsigned micro = 0;
    int used = 0;
    if (std::sscanf(text.c_str(), "%4d-%2d-%2dT%2d:%2d:%2d.%6uZ%n", &t.tm_year, &t.tm_mon, &t.tm_mday, &t.tm_hour,
                    &t.tm_min, &t.tm_sec, &micro, &used) != 7 || used != 27 || text.size() != 27)
        return false;
    t.tm_year -= 1900;
    t.tm_mon -= 1;
    sec = static_cast<int64_t>(timegm(&t));
    usec = micro;
    return true;
}

void RecordReplay::Input(const std::string &station, const std::string &file) {
    const std::string name = InputName(station, file);
    if (name == input_) return;
    input_ = name;
    sink_.OnInput(name);
}

void RecordReplay::Unreadable(const std::string &what) {
    ++unreadable_;
    InputProblem p;
    p.what = what;
    p.kind = "stream";
    sink_.OnProblem(p);
}

void RecordReplay::Put(std::string_view line) {
    const json r = json::parse(line, nullptr, false);
    if (!r.is_object()) {
        Emit();  // in stream order: the message before it
        return Unreadable("a message of the stream holds a line that is not a JSON record");
    }
    const std::string type = TextField(r, "type"), station = TextField(r, "station"), file = TextField(r, "file");
    if (type == "route" || type == "policy") {
        const std::string key = station + '\n' + file + '\n' + std::to_string(NumberField(r, "message"));
        if (key != groupKey_) Emit();
        if (group_.empty()) {
            head_ = line;
            groupKey_ = key;
        }
        (group_ += line) += '\n';
        return;
    }
    Emit();  // in stream order: the message before what follows it
    if (type == "event") {
        Input(station, file);
        InputEvent e;
        e.offset = NumberField(r, "offset");
        e.peer = TextField(r, "peer");
        e.peerAs = static_cast<uint32_t>(NumberField(r, "peer_as"));
        e.hasTime = ParseRecordTime(TextField(r, "time"), e.sec, e.usec);
        e.what = TextField(r, "event");
        e.router = TextField(r, "router");
        const std::string ends = TextField(r, "ends");
        e.ends = ends == "peer" ? InputEvent::Ends::Peer : ends == "router" ? InputEvent::Ends::Router
                                                                             : InputEvent::Ends::Nothing;
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
    const json r = json::parse(head_, nullptr, false);
    EncodeJob job;
    std::string err;
    const bool built = BuildFromJson(group_, job, err) && job.messages.size() == 1;
    group_.clear();
    groupKey_.clear();
    Input(TextField(r, "station"), TextField(r, "file"));
    if (!built) return Unreadable("records of message " + std::to_string(NumberField(r, "message")) +
                                  " cannot be encoded back: " + (err.empty() ? "not one UPDATE" : err));
    Message m;
    m.bytes = std::move(job.messages.front());
    m.number = NumberField(r, "message");
    m.offset = NumberField(r, "offset");
    m.frame = NumberField(r, "frame");
    m.where = TextField(r, "stream");
    m.peer = TextField(r, "peer");
    m.peerAs = static_cast<uint32_t>(NumberField(r, "peer_as"));
    m.router = TextField(r, "router");
    m.hasTime = ParseRecordTime(TextField(r, "time"), m.sec, m.usec);
    m.rebuilt = r.value("rib_entry", false);
    sink_.OnMessage(m);
}

}  // namespace rpdhost
