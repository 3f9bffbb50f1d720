#include "nats_link.h"

namespace rpdhost {

bool ParseServers(const std::string &list, std::vector<std::string> &out, std::string &err) {
    out.clear();
    size_t at = 0;
    while (at <= list.size()) {
        size_t comma = list.find(',', at);
        if (comma == std::string::npos) comma = list.size();
        const std::string url = list.substr(at, comma - at);
        if (url.rfind("nats://", 0) != 0 || url.size() == 7) {
            err = "not a nats://HOST:PORT URL: \"" + url + "\"";
            return false;
        }
        out.push_back(url);
        at = comma + 1;
    }
    return true;
}

std::string SubjectToken(const std::string &text) {
    if (text.empty()) return "-";
    std::string t = text;
    for (char &c : t)
        if (c == '.' || c == ':' || c == '*' || c == '>' || c <= ' ' || c == 0x7f) c = '_';
    return t;
}

std::string NatsError(int status, const char *what) {
    natsStatus s = NATS_OK;
    const char *last = nats_GetLastError(&s);
    std::string text = std::string(what) + ": " + natsStatus_GetText(static_cast<natsStatus>(status));
    if (last != nullptr && *last != '\0' && s == status) text += std::string(" (") + last + ")";
    return text;
}

void NatsLink::Close() {
    if (nc_ != nullptr) natsConnection_Close(nc_);
    jsCtx_Destroy(js_);
    natsConnection_Destroy(nc_);
    js_ = nullptr;
    nc_ = nullptr;
}

bool NatsLink::Open(const std::vector<std::string> &servers, int64_t timeoutMs, jsOptions *js, bool patient,
                    std::string &err) {
    natsOptions *opts = nullptr;
    natsStatus s = natsOptions_Create(&opts);
    std::vector<const char *> urls;
    for (const std::string &u : servers) urls.push_back(u.c_str());
    // Reconnect to any server of the list, without end: the run decides when to give up.
    if (s == NATS_OK) s = natsOptions_SetServers(opts, urls.data(), static_cast<int>(urls.size()));
    if (s == NATS_OK) s = natsOptions_SetTimeout(opts, timeoutMs);
    if (s == NATS_OK) s = natsOptions_SetMaxReconnect(opts, -1);
    if (s == NATS_OK) s = natsOptions_SetReconnectWait(opts, 100);
    if (s == NATS_OK) s = natsOptions_SetReconnectBufSize(opts, 16 << 20);
    if (s == NATS_OK) s = natsOptions_SetPingInterval(opts, 2000);
    if (s == NATS_OK) s = natsOptions_SetMaxPingsOut(opts, 3);
    // A callback makes the first connection asynchronous; Connected() is asked instead.
    if (s == NATS_OK && patient) s = natsOptions_SetRetryOnFailedConnect(opts, true, [](natsConnection *, void *) {}, nullptr);
    if (s == NATS_OK) s = natsConnection_Connect(&nc_, opts);
    natsOptions_Destroy(opts);
    if (s == NATS_NOT_YET_CONNECTED) s = NATS_OK;
    if (s != NATS_OK) {
        err = NatsError(s, ("cannot connect to " + servers.front() + (servers.size() > 1 ? " or the others" : "")).c_str());
        return false;
    }
    s = natsConnection_JetStream(&js_, nc_, js);
    if (s != NATS_OK) {
        err = NatsError(s, "no JetStream context");
        return false;
    }
    return true;
}

bool NatsLink::Connected() const {
    return nc_ != nullptr && natsConnection_Status(nc_) == NATS_CONN_STATUS_CONNECTED;
}

std::string NatsLink::Server() const {
    char url[256] = "";
    if (nc_ == nullptr || natsConnection_GetConnectedUrl(nc_, url, sizeof(url)) != NATS_OK) return "";
    return url;
}

}  // namespace rpdhost
