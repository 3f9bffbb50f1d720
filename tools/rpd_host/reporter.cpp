#include "reporter.h"

#include "report.h"

namespace rpdhost {

namespace {

constexpr uint32_t kTextKey = TAM_RPD_STR_NLRI;

}  // namespace

std::string MessageHeading(const MessageView &mv) {
    const Message &m = mv.m;
    std::string s = mv.file + ": message " + std::to_string(m.number) + " (offset " + std::to_string(m.offset);
    if (m.frame != 0) s += ", frame " + std::to_string(m.frame);
    if (!m.where.empty()) s += ", " + m.where;
    s += m.rebuilt ? ") RIB entry" : ") UPDATE";
    if (!m.peer.empty()) s += " from " + m.peer;
    if (m.peerAs != 0) s += " AS" + std::to_string(m.peerAs);
    if (m.hasPathId) s += " path " + std::to_string(m.pathId);
    if (m.hasTime) s += std::string(m.rebuilt ? " originated " : " at ") + TimeText(m.sec, m.usec);
    return s;
}

std::string KeyText(const Plugin &plugin, const OutBuf &key, uint32_t &status) {
    std::string raw;
    status = plugin.Text(MakeView(&key, nullptr), kTextKey, raw);
    if (status != TAM_RPD_OK) return TAM_RPD_StatusName(status);
    // "RPD NLRI: " leads every key text; runs of blanks pad its columns.
    std::string s;
    size_t i = raw.rfind("RPD NLRI: ", 0) == 0 ? 10 : 0;
    for (; i < raw.size(); ++i) {
        const char c = raw[i];
        if (c == '\0' || c == '\n') continue;
        if (c == ' ' && (s.empty() || s.back() == ' ')) continue;
        s += c;
    }
    while (!s.empty() && s.back() == ' ') s.pop_back();
    return s;
}

void TextualReporter::Event(const std::string &file, const InputEvent &e) {
    std::fprintf(out_, "%s: ", file.c_str());
    PrintEvent(out_, e);
}

std::unique_ptr<Reporter> MakeReporter(OutputMode mode, const Plugin &plugin, FILE *out) {
    switch (mode) {
        case OutputMode::Text: return MakeTextReporter(plugin, out);
        case OutputMode::PluginText: return MakePluginTextReporter(plugin, out);
        case OutputMode::Display: return MakeDisplayReporter(plugin, out);
        case OutputMode::Json: return MakeJsonReporter(plugin, out);
        case OutputMode::None: break;
    }
    return std::make_unique<Reporter>();
}

}  // namespace rpdhost
