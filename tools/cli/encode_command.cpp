#include <cerrno>
#include <cstring>
#include <fstream>
#include <iostream>
#include <sstream>

#include "commands.h"

namespace rpdhost {

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

int EncodeCommand(const Settings &s) {
    EncodeJob job;
    if (const int rc = LoadJob(s.files[0], job); rc != 0) return rc;
    const bool toFile = !s.encodeOutput.empty();
    const char *output = s.encodeOutput.c_str();
    // A file is written under a temporary name and renamed when whole: a failed encode leaves nothing behind.
    const std::string temp = toFile ? s.encodeOutput + ".part" : "";
    FILE *out = toFile ? std::fopen(temp.c_str(), "wb") : stdout;
    if (out == nullptr) {
        std::fprintf(stderr, "rpd-host: %s: %s\n", output, std::strerror(errno));
        return 2;
    }
    std::string err;
    const bool ok = rpdwire::WriteMessages(out, s.encodeFormat, job.messages, job.endpoints, job.mss, &err);
    const bool closed = out == stdout ? std::fflush(out) == 0 : std::fclose(out) == 0;
    if (!ok || !closed || (toFile && std::rename(temp.c_str(), output) != 0)) {
        std::fprintf(stderr, "rpd-host: %s: %s\n", toFile ? output : "stdout", ok ? std::strerror(errno) : err.c_str());
        if (toFile) std::remove(temp.c_str());
        return 1;
    }
    return 0;
}

}  // namespace rpdhost
