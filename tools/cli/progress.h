// The progress line on stderr while a long input is read: bytes, messages
// and routes, with the share done and the time left when the size is known.
// Cleared before anything else is written to stderr.
#pragma once

#include <cstdint>
#include <string>

namespace rpdhost {

class Progress {
public:
    explicit Progress(bool enabled) : enabled_(enabled) {}
    void Start(const std::string &name, uint64_t size);
    void Update(uint64_t bytes, uint64_t messages, uint64_t routes);
    void Clear();
    bool enabled() const { return enabled_; }

private:
    bool enabled_;
    std::string name_;
    uint64_t size_ = 0;
    double start_ = 0;
    double last_ = 0;
    uint64_t tick_ = 0;
    bool shown_ = false;
};

}  // namespace rpdhost
