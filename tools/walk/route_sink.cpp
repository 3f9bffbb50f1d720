#include "route_sink.h"

namespace rpdhost {

ProblemView ProblemAbout(const MessageView &mv) {
    ProblemView p(mv.file);
    p.number = mv.m.number;
    p.offset = mv.m.offset;
    p.frame = mv.m.frame;
    p.where = mv.m.where;
    return p;
}

bool FanOut::NeedsWire() const {
    for (const RouteSink *s : sinks_)
        if (s->NeedsWire()) return true;
    return false;
}

void FanOut::Begin(const MessageView &mv, const PolicyView &pv) {
    for (RouteSink *s : sinks_) s->Begin(mv, pv);
}

void FanOut::Route(const MessageView &mv, const PolicyView &pv, const RouteView &r) {
    for (RouteSink *s : sinks_) s->Route(mv, pv, r);
}

void FanOut::End(const MessageView &mv, const PolicyView &pv) {
    for (RouteSink *s : sinks_) s->End(mv, pv);
}

void FanOut::Input(const std::string &shown, const std::string &station, const std::string &file) {
    for (RouteSink *s : sinks_) s->Input(shown, station, file);
}

void FanOut::Event(const std::string &file, const InputEvent &e) {
    for (RouteSink *s : sinks_) s->Event(file, e);
}

void FanOut::Problem(const ProblemView &p) {
    for (RouteSink *s : sinks_) s->Problem(p);
}

void FanOut::Tally(Summary &sum) const {
    for (const RouteSink *s : sinks_) s->Tally(sum);
}

void FanOut::Finish(const Summary &sum) {
    for (RouteSink *s : sinks_) s->Finish(sum);
}

}  // namespace rpdhost
