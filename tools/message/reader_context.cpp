#include "reader_context.h"

namespace rpdhost {

void ReaderContext::Emit(Message &m) {
    m.number = ++counts_.messages;
    sink_.OnMessage(m);
}

void ReaderContext::Event(InputEvent &e) {
    e.live = live_;
    ++counts_.events;
    sink_.OnEvent(e);
}

void ReaderContext::Problem(const char *kind, const Place &at, std::string what) {
    ++counts_.problems;
    InputProblem p;
    p.number = live_ ? 0 : counts_.messages + 1;
    p.offset = at.offset;
    p.frame = at.frame;
    p.where = at.where;
    p.what = std::move(what);
    p.kind = kind;
    sink_.OnProblem(p);
}

void ReaderContext::Damage(const char *kind, const Place &at, const std::string &reason, std::string what, uint64_t n) {
    counts_.Skip(reason, true, n);
    Problem(kind, at, std::move(what));
}

}  // namespace rpdhost
