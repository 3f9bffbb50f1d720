#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>

#include "commands.h"
#include "problem_log.h"
#include "walk.h"

namespace rpdhost {

namespace {

namespace fs = std::filesystem;

// Where writing to `path` should land: through symbolic links to their
// final target, so that the link stays a link.
fs::path Target(const fs::path &path) {
    fs::path p = path;
    std::error_code ec;
    for (int hops = 0; hops < 40 && fs::is_symlink(fs::symlink_status(p, ec)); ++hops) {
        const fs::path link = fs::read_symlink(p, ec);
        if (ec) break;
        p = link.is_absolute() ? link : p.parent_path() / link;
    }
    return p;
}

}  // namespace

int LoadJob(const std::string &input, EncodeJob &job) {
    std::stringstream text;
    if (input == "-") {
        text << std::cin.rdbuf();
    } else {
        std::ifstream f(input);
        if (!f) {
            std::fprintf(stderr, "rpd-host: %s: %s\n", input.c_str(), std::strerror(errno));
            return 2;
        }
        text << f.rdbuf();
    }
    std::string err;
    if (!BuildFromJson(text.str(), job, err)) {
        std::fprintf(stderr, "rpd-host: %s: %s\n", input.c_str(), err.c_str());
        return 1;
    }
    return 0;
}

int CheckJob(const Plugin &plugin, const EncodeJob &job, const std::string &name) {
    ProblemLog log(stderr);
    FanOut sinks;
    sinks.Add(log);
    RouteWalk walk(plugin, WalkOptions{job.wcCode}, sinks);
    walk.OnInput(name);
    Message m;
    for (size_t i = 0; i < job.messages.size(); ++i) {
        m.bytes = job.messages[i];
        m.number = i + 1;
        m.where = "$.updates[" + std::to_string(i) + "]";
        walk.OnMessage(m);
        m.offset += m.bytes.size();
    }
    const uint64_t refused = walk.summary().Failures();
    if (refused == 0) return 0;
    std::fprintf(stderr, "rpd-host: %s: the plug-in refuses %llu of its UPDATEs: nothing written or sent "
                         "(--unchecked takes them as they are)\n",
                 name.c_str(), static_cast<unsigned long long>(refused));
    return 1;
}

int EncodeCommand(const Settings &s, const EncodeJob &job) {
    const bool toFile = !s.encodeOutput.empty();
    const char *output = s.encodeOutput.c_str();
    // A regular file is written under a temporary name and renamed when
    // whole, so a failed encode leaves nothing behind; a FIFO or a device is
    // written as it is.
    const fs::path target = toFile ? Target(s.encodeOutput) : fs::path();
    std::error_code ec;
    const fs::file_status st = fs::status(target, ec);
    const bool direct = toFile && fs::exists(st) && !fs::is_regular_file(st);
    const std::string temp = toFile && !direct ? target.string() + ".part" : "";
    FILE *out = !toFile ? stdout : std::fopen(direct ? target.c_str() : temp.c_str(), "wb");
    if (out == nullptr) {
        std::fprintf(stderr, "rpd-host: %s: %s\n", output, std::strerror(errno));
        return 1;
    }
    std::string err;
    const bool ok = rpdwire::WriteMessages(out, s.encodeFormat, job.messages, job.endpoints, job.mss, &err);
    errno = 0;
    const bool closed = out == stdout ? std::fflush(out) == 0 && !std::ferror(out) : std::fclose(out) == 0;
    const int closeErrno = errno;
    if (!ok || !closed || (!temp.empty() && std::rename(temp.c_str(), target.c_str()) != 0)) {
        const int e = closed ? errno : closeErrno;
        std::fprintf(stderr, "rpd-host: %s: %s\n", toFile ? output : "standard output",
                     ok ? (e != 0 ? std::strerror(e) : "write error") : err.c_str());
        if (!temp.empty()) std::remove(temp.c_str());
        return 1;
    }
    return 0;
}

}  // namespace rpdhost
