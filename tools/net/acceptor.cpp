#include "acceptor.h"

#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "counted.h"

namespace rpdhost {

namespace {

constexpr double kFirstRest = 0.1, kLongestRest = 2.0;

bool OutOfDescriptors(int err) { return err == EMFILE || err == ENFILE || err == ENOBUFS || err == ENOMEM; }

}  // namespace

Acceptor::Acceptor(int listener) : listener_(listener) { Refill(); }

void Acceptor::Refill() {
    if (reserve_.get() < 0) reserve_.Reset(open("/dev/null", O_RDONLY | O_CLOEXEC));
}

Acceptor::Taken Acceptor::Accept(double now) {
    Taken t;
    t.fd = accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
    if (t.fd >= 0) {
        if (rest_ > 0) {
            t.event = "accepting connections again (" + rpdwire::Counted(refused_, "connection", "connections") +
                     " refused while descriptors were short)";
            rest_ = 0;
            refused_ = 0;
        }
        return t;
    }
    const int err = errno;
    if (!OutOfDescriptors(err)) return t;  // the peer went away before we took it, and the like
    if (rest_ == 0) {
        t.problem = std::string("cannot accept connections: ") + std::strerror(err) +
                 "; new peers are refused until descriptors free up";
    }
    rest_ = std::min(rest_ == 0 ? kFirstRest : rest_ * 2, kLongestRest);
    if (reserve_.get() >= 0) {
        reserve_.Close();
        t.fd = accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
        if (t.fd >= 0) {
            t.refuse = true;
            ++refused_;
            return t;
        }
        Refill();
    }
    restUntil_ = now + rest_;  // not even the reserve helps: let the backlog wait
    return t;
}

}  // namespace rpdhost
