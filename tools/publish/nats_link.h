// A connection to NATS with its JetStream context, as the publisher and the
// consumer both hold one: the servers of a comma-separated list of URLs,
// reconnecting to any of them for as long as the run lasts.
#pragma once

#include <nats/nats.h>

#include <cstdint>
#include <string>
#include <vector>

namespace rpdhost {

// "nats://a:4222,nats://b:4222" as a list; false when an entry is not a nats:// URL.
bool ParseServers(const std::string &list, std::vector<std::string> &out, std::string &err);

// A subject token from free text: NATS separates tokens with dots and gives
// blanks, '*' and '>' meanings, so those (and ':') become '_'; "" is "-".
std::string SubjectToken(const std::string &text);

class NatsLink {
public:
    NatsLink() = default;
    ~NatsLink() { Close(); }
    NatsLink(const NatsLink &) = delete;
    NatsLink &operator=(const NatsLink &) = delete;

    // Connects (waiting at most `timeoutMs` for the first server) and opens
    // the JetStream context with `js` (null: the defaults). With `patient`,
    // no server answering is not a failure: the library keeps trying in the
    // background and Connected() says when one has answered.
    bool Open(const std::vector<std::string> &servers, int64_t timeoutMs, jsOptions *js, bool patient,
              std::string &err);
    bool Connected() const;
    natsConnection *nc() const { return nc_; }
    jsCtx *js() const { return js_; }
    // Closes the connection and frees it; its callbacks stop.
    void Close();
    // The server it is connected to now ("" while reconnecting).
    std::string Server() const;

private:
    natsConnection *nc_ = nullptr;
    jsCtx *js_ = nullptr;
};

// Says in words why a NATS call failed: the status, and the library's last error text.
std::string NatsError(int status, const char *what);

}  // namespace rpdhost
