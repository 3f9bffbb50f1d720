#include "recorder.h"

#include <cerrno>
#include <cstring>
#include <utility>

#include "clock.h"

namespace rpdhost {

namespace {

using rpdwire::kTcpAck;
using rpdwire::kTcpFin;
using rpdwire::kTcpPsh;
using rpdwire::kTcpSyn;

// MRT and pcap times are 32-bit seconds and microseconds.
uint32_t Seconds(double now) { return static_cast<uint32_t>(Split(now).sec); }
uint32_t Micros(double now) { return Split(now).usec; }

}  // namespace

Recorder::~Recorder() {
    if (out_ != nullptr) std::fclose(out_);
}

bool Recorder::ParseFormat(const std::string &name, Format &f) {
    if (name == "mrt") f = Format::Mrt;
    else if (name == "pcap") f = Format::Pcap;
    else if (name == "pcapng") f = Format::Pcapng;
    else return false;
    return true;
}

Recorder::Format Recorder::FormatFor(const std::string &path, std::optional<Format> f) {
    auto endsWith = [&](const std::string &ext) {
        return path.size() > ext.size() && path.compare(path.size() - ext.size(), ext.size(), ext) == 0;
    };
    return f.value_or(endsWith(".pcap") ? Format::Pcap : endsWith(".pcapng") ? Format::Pcapng : Format::Mrt);
}

bool Recorder::Open(const std::string &path, std::optional<Format> f, std::string &why, RecordRotation rotate) {
    if (path.empty()) return true;
    format_ = FormatFor(path, f);
    base_ = path;
    rotate_ = rotate;
    return Begin(why);
}

// The next file: FILE itself, or when rotating FILE numbered before its extension.
bool Recorder::Begin(std::string &why) {
    path_ = base_;
    if (rotate_.bytes != 0 || rotate_.seconds != 0) {
        char n[16];
        std::snprintf(n, sizeof(n), ".%06u", ++number_);
        const size_t slash = base_.rfind('/'), dot = base_.rfind('.');
        const size_t at = dot != std::string::npos && (slash == std::string::npos || dot > slash + 1) ? dot : base_.size();
        path_.insert(at, n);
    }
    out_ = std::fopen(path_.c_str(), "wb");
    if (out_ == nullptr) {
        why = error_ = path_ + ": " + std::strerror(errno);
        return false;
    }
    written_ = 0;
    started_ = -1;
    if (number_ > 0) begun_ = path_;
    if (format_ == Format::Pcap) Write(rpdwire::PcapFileHeader(rpdwire::kLinkEthernet));
    if (format_ == Format::Pcapng)
        Write(rpdwire::PcapngHeader(rpdwire::kLinkEthernet, "recorded by rpd-host; the receiving side of each "
                                                             "connection is on the port that replays it with no "
                                                             "option (BGP 179, BMP 1790)"));
    return true;
}

void Recorder::Due(double now) {
    if (out_ == nullptr || !error_.empty()) return;
    if (started_ < 0) started_ = now;
    const bool full = rotate_.bytes != 0 && written_ >= rotate_.bytes;
    const bool old = rotate_.seconds != 0 && now >= started_ + rotate_.seconds;
    if (!full && !old) return;
    std::string why;
    if (!Close(why) || !Begin(why)) return;
    started_ = now;
    for (RecordLink *l : open_) Handshake(*l, now);
}

std::string Recorder::TakeBegun() { return std::exchange(begun_, std::string()); }

void Recorder::Write(const rpdwire::Bytes &b) {
    if (out_ != nullptr && error_.empty() && std::fwrite(b.data(), 1, b.size(), out_) != b.size())
        error_ = path_ + ": " + std::strerror(errno);
    written_ += b.size();
}

void Recorder::Segment(RecordLink &l, uint8_t flags, bool fromPeer, const rpdwire::Bytes &payload, double now) {
    uint32_t &seq = fromPeer ? l.peerSeq : l.localSeq;
    const uint32_t ack = fromPeer ? l.localSeq : l.peerSeq;
    std::vector<rpdwire::Bytes> frames;
    std::string err;
    if (!rpdwire::PcapFrames({{seq, ack, flags, payload, fromPeer}}, l.ep, frames, &err)) {
        if (error_.empty()) error_ = path_ + ": " + err;
        return;
    }
    seq += static_cast<uint32_t>(payload.size()) + ((flags & (kTcpSyn | kTcpFin)) != 0 ? 1 : 0);
    rpdwire::Bytes rec;
    if (format_ == Format::Pcapng) rpdwire::AppendPcapngPacket(rec, Seconds(now), Micros(now), frames[0]);
    else rpdwire::AppendPcapRecord(rec, Seconds(now), Micros(now), frames[0]);
    Write(rec);
}

void Recorder::Connected(RecordLink &l, double now) {
    if (format_ == Format::Mrt || out_ == nullptr) return;
    Due(now);
    open_.insert(&l);
    Handshake(l, now);
}

// A connection's opening, at the sequence numbers it stands at: so a capture
// file that begins while it is open reads it as a whole connection.
void Recorder::Handshake(RecordLink &l, double now) {
    --l.peerSeq;
    --l.localSeq;
    Segment(l, kTcpSyn, true, {}, now);
    Segment(l, kTcpSyn | kTcpAck, false, {}, now);
    Segment(l, kTcpAck, true, {}, now);
}

void Recorder::Received(RecordLink &l, const rpdwire::Bytes &message, double now) {
    if (out_ == nullptr) return;
    Due(now);
    if (format_ != Format::Mrt) return Segment(l, kTcpPsh | kTcpAck, true, message, now);
    rpdwire::Bytes rec;
    std::string err;
    if (rpdwire::AppendMrtBgp4mp(rec, l.ep, rpdwire::kBgp4mpMessageAs4, message, Seconds(now),
                                 static_cast<int32_t>(Micros(now)), &err))
        Write(rec);
    else if (error_.empty())
        error_ = path_ + ": " + err;
}

void Recorder::StateChange(RecordLink &l, uint16_t from, uint16_t to, double now) {
    if (format_ != Format::Mrt || out_ == nullptr) return;
    rpdwire::Bytes states;
    rpdwire::Put16(states, from);
    rpdwire::Put16(states, to);
    rpdwire::Bytes rec;
    if (rpdwire::AppendMrtBgp4mp(rec, l.ep, rpdwire::kBgp4mpStateChangeAs4, states, Seconds(now),
                                 static_cast<int32_t>(Micros(now))))
        Write(rec);
}

void Recorder::Closed(RecordLink &l, double now) {
    open_.erase(&l);
    if (format_ == Format::Mrt || out_ == nullptr) return;
    Segment(l, kTcpFin | kTcpAck, true, {}, now);
    Segment(l, kTcpFin | kTcpAck, false, {}, now);
}

bool Recorder::Close(std::string &why) {
    if (out_ == nullptr) return true;
    const bool flushed = Flush(why);
    const int closed = std::fclose(out_);
    out_ = nullptr;
    if (flushed && closed != 0) why = error_ = path_ + ": " + std::strerror(errno);
    return error_.empty();
}

bool Recorder::Flush(std::string &why) {
    if (out_ != nullptr && error_.empty() && std::fflush(out_) != 0) error_ = path_ + ": " + std::strerror(errno);
    why = error_;
    return error_.empty();
}

}  // namespace rpdhost
