#include "problem_log.h"

namespace rpdhost {

namespace {

unsigned long long U(uint64_t v) { return static_cast<unsigned long long>(v); }

}  // namespace

void ProblemLog::Start(const std::string &name) {
    if (beforeWrite_) beforeWrite_();
    std::fprintf(err_, "rpd-host: %s: ", name.c_str());
}

void ProblemLog::Note(const std::string &name, const std::string &text) {
    Start(name);
    std::fprintf(err_, "%s\n", text.c_str());
}

void ProblemLog::Problem(const ProblemView &p) {
    Start(p.file);
    if (p.number != 0) {
        std::fprintf(err_, "message %llu (offset %llu", U(p.number), U(p.offset));
        if (p.frame != 0) std::fprintf(err_, ", frame %llu", U(p.frame));
        std::fprintf(err_, "%s%s): ", p.where.empty() ? "" : ", ", p.where.c_str());
    }
    if (p.Warning()) std::fputs("warning: ", err_);
    std::fputs(p.what.c_str(), err_);
    if (p.hasAttributeByte)
        std::fprintf(err_, " at attribute byte %zu (message byte %zu)", p.attributeByte, p.messageByte);
    else if (p.hasByte)
        std::fprintf(err_, " at message byte %zu", p.messageByte);
    if (!p.Input() && !p.Warning()) std::fprintf(err_, ": %s", p.status.c_str());
    std::fputc('\n', err_);
    if (!p.excerpt.empty()) std::fprintf(err_, "    %s\n", p.excerpt.c_str());
}

}  // namespace rpdhost
