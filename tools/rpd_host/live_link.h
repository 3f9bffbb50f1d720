// The parts the live modes share: a socket's owner and text, the stop
// signals, and one BGP session over a connection whose output is sent,
// decoded, reported and recorded the same way in `listen` and `speak`.
#pragma once

#include <poll.h>
#include <sys/socket.h>

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "bgp_session.h"
#include "clock.h"
#include "host.h"
#include "recorder.h"

namespace rpdhost {

// Closes a descriptor when it goes out of scope.
class Fd {
public:
    explicit Fd(int fd = -1) : fd_(fd) {}
    Fd(const Fd &) = delete;
    Fd &operator=(const Fd &) = delete;
    ~Fd() {
        if (fd_ >= 0) Close();
    }
    int get() const { return fd_; }
    void Close();
    void Reset(int fd);
    int Release() {
        const int fd = fd_;
        fd_ = -1;
        return fd;
    }

private:
    int fd_;
};

// An IPv4 or IPv6 socket address as text, with its port or without.
std::string SocketText(const sockaddr_storage &sa, bool withPort);
// `addr` (IPv4 or IPv6 text) and `port` as a socket address; false when `addr` is neither.
bool SocketAddress(const std::string &addr, uint16_t port, sockaddr_storage &sa, socklen_t &len);
// A listening TCP socket; false with the reason.
bool ListenOn(const std::string &addr, uint16_t port, Fd &out, std::string &local, std::string &why);

// SIGINT and SIGTERM ask the live modes to stop (after a Cease); SIGPIPE is ignored.
void InstallStopSignals();
bool StopRequested();

// One connection and its session.
struct LiveLink {
    LiveLink(int fd, const SpeakerConfig &cfg, double now) : sock(fd), session(cfg, now) {}
    Fd sock;
    BgpSession session;
    std::string addr;   // the peer's address
    std::string where;  // "peer:port -> local:port"
    uint64_t messages = 0;
    uint64_t offset = 0;  // bytes of UPDATEs handed over so far
    bool closed = false;
    bool established = false;
    RecordLink record;
};

// Events and problems of a live input, stamped with the time they happen.
class LiveEvents {
public:
    explicit LiveEvents(Host &host) : host_(host) {}
    void Event(const std::string &peer, uint32_t as, const std::string &what);
    void Problem(const std::string &where, const std::string &what);

protected:
    Host &host_;
};

// The loop of the listening modes: accepts on `listener`, reads what each
// connection has, ticks, and drops the connections that closed, until a stop
// signal, `duration` seconds (0: none) or `maxEnded` ended connections (0:
// none). `Conn` has `sock` and `closed`; `accept(now)` appends to `conns`.
// False, with the reason, when poll fails.
template <typename Conn, typename Accept, typename Ready, typename Tick>
bool Serve(int listener, std::vector<std::unique_ptr<Conn>> &conns, double duration, unsigned maxEnded,
           Accept accept, Ready ready, Tick tick, std::string &why) {
    const double end = duration > 0 ? Now() + duration : 0;
    unsigned ended = 0;
    while (!StopRequested() && (end == 0 || Now() < end) && (maxEnded == 0 || ended < maxEnded)) {
        std::vector<pollfd> fds{{listener, POLLIN, 0}};
        for (const auto &c : conns) fds.push_back({c->sock.get(), POLLIN, 0});
        if (poll(fds.data(), fds.size(), 100) < 0 && errno != EINTR) {
            why = std::string("poll: ") + std::strerror(errno);
            return false;
        }
        const double now = Now();
        if (fds[0].revents & POLLIN) accept(now);
        for (size_t i = 1; i < fds.size(); ++i)  // connections accepted just now come after these
            if (fds[i].revents & (POLLIN | POLLHUP | POLLERR)) ready(*conns[i - 1], now);
        tick(now);
        ended += static_cast<unsigned>(std::erase_if(conns, [](const std::unique_ptr<Conn> &c) { return c->closed; }));
    }
    return true;
}

class LiveReport : public LiveEvents {
public:
    LiveReport(Host &host, Recorder &recorder, uint32_t localAs) : LiveEvents(host), rec_(recorder), localAs_(localAs) {}

    // Names the link from its socket and starts its record.
    void Connected(LiveLink &l, double now);
    // Sends what the session asks, hands its UPDATEs to the walk, records and reports the rest.
    void Apply(LiveLink &l, SessionOutput out, double now);
    // Reads what the socket has and gives it to the session.
    void Read(LiveLink &l, double now);
    // Sends bytes of our own (UPDATEs); false, with the link closed and reported, when they cannot go.
    bool Send(LiveLink &l, const rpdwire::Bytes &bytes, double now);
    // Pushes the record to its file; a write failure is reported once.
    void Flush();

private:
    Recorder &rec_;
    uint32_t localAs_;
    bool recordFailed_ = false;
};

}  // namespace rpdhost
