#include "bmp_station.h"

#include <sys/socket.h>

#include <cerrno>
#include <cstring>
#include <memory>
#include <vector>

#include "bmp_input.h"
#include "live_link.h"

namespace rpdhost {

namespace {

// One monitored router's connection.
struct Router {
    Router(int fd, Host &host, const std::string &where) : sock(fd), name("router " + where), reader(host, counts, name) {}
    Fd sock;
    std::string name;
    InputCounts counts;
    BmpReader reader;
    bool closed = false;
};

class Station {
public:
    Station(const ListenOptions &lo, Host &host) : lo_(lo), host_(host), report_(host) {}

    bool Run(std::string &why) {
        Fd listener;
        std::string local;
        if (!ListenOn(lo_.bind, lo_.port, listener, local, why)) return false;
        host_.BeginLive("bmp " + local);
        report_.Event("", 0, "BMP station listening on " + local);
        InstallStopSignals();
        const bool served = Serve(
            listener.get(), routers_, lo_.duration, lo_.maxSessions, [&](double) { Accept(listener.get()); },
            [&](Router &r, double) { Read(r); }, [](double) { std::fflush(stdout); }, why);
        for (const auto &r : routers_) Close(*r, "the station stopped");
        routers_.clear();
        return served;
    }

private:
    void Accept(int listener) {
        sockaddr_storage from{};
        socklen_t len = sizeof(from);
        const int fd = accept4(listener, reinterpret_cast<sockaddr *>(&from), &len, SOCK_CLOEXEC);
        if (fd < 0) return;
        const std::string name = SocketText(from, true);
        routers_.push_back(std::make_unique<Router>(fd, host_, name));
        report_.Event("", 0, routers_.back()->name + ": connected");
    }

    void Read(Router &r) {
        uint8_t buf[65536];
        const ssize_t n = recv(r.sock.get(), buf, sizeof(buf), MSG_DONTWAIT);
        if (n > 0) {
            if (!r.reader.Feed(buf, static_cast<size_t>(n))) Close(r, "the stream cannot be followed");
            else if (r.reader.terminated()) Close(r, "after its termination message");
        } else if (n == 0 || (errno != EINTR && errno != EAGAIN)) {
            Close(r, n == 0 ? "by the router" : std::strerror(errno));
        }
    }

    void Close(Router &r, const std::string &how) {
        if (r.closed) return;
        r.reader.Finish();
        r.closed = true;
        r.sock.Close();
        report_.Event("", 0, r.name + ": connection closed " + how + " (" + std::to_string(r.counts.messages) +
                                 " BGP messages)");
        host_.AddCounts(r.counts);
    }

    const ListenOptions &lo_;
    Host &host_;
    LiveEvents report_;
    std::vector<std::unique_ptr<Router>> routers_;
};

}  // namespace

bool BmpStation(const ListenOptions &lo, Host &host, std::string &why) {
    Station s(lo, host);
    return s.Run(why);
}

}  // namespace rpdhost
