// Accepting on a listening socket when descriptors run out. accept() that
// fails with EMFILE leaves the connection waiting and the listener readable,
// so a plain poll loop spins and the peer times out. A descriptor kept in
// reserve is given up to take the waiting connection, so the mode can refuse
// it properly (a NOTIFICATION, then close); when even that fails (the whole
// system is out of descriptors, or memory) the listener rests, longer each
// time up to 2 s, before it is tried again. Each shortage is said once as it
// begins and once as it ends.
#pragma once

#include <string>

#include "net.h"

namespace rpdhost {

class Acceptor {
public:
    explicit Acceptor(int listener);

    struct Taken {
        int fd = -1;          // -1: nothing taken
        bool refuse = false;  // taken with the reserve descriptor: to be refused and closed at once
        std::string problem;  // a shortage begins
        std::string event;    // a shortage ends
    };
    Taken Accept(double now);
    // Whether the listener is to be polled now.
    bool Ready(double now) const { return now >= restUntil_; }
    int listener() const { return listener_; }
    // Gives the reserve back after a connection taken with it was closed.
    void Refill();

private:
    int listener_;
    Fd reserve_;
    double rest_ = 0;  // the current pause; 0 when there is no shortage
    double restUntil_ = 0;
    unsigned refused_ = 0;  // during this shortage
};

}  // namespace rpdhost
