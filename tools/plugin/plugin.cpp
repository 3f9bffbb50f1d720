#include "plugin.h"

#include <dlfcn.h>

#include <algorithm>
#include <cstring>

#include "tam_rpd_host.h"

namespace rpdhost {

namespace {

constexpr uint64_t kModule = 0x52504448;  // "RPDH"
// Room for the text of the largest attribute the plug-in accepts.
constexpr size_t kTextRoom = 1u << 20;

// The buffer is all NULs but for the last text taken out, and the byte past
// the largest room is one too. Texts are written from the start with single
// NULs between items (the plug-in never leaves a hole: input bytes that reach
// a text are printable), so a run of kGap NULs after an item marks their end.
// Items are measured by strlen, the gap after each is tested with a few
// wide reads: the cost follows the text's length and its item count, not
// the room. Returns the text; `dirty` is how much of the buffer to clear
// before the next call.
std::string_view TakeText(const std::vector<char> &buf, uint32_t room, size_t &dirty) {
    constexpr size_t kGap = 64;
    const char *const b = buf.data();
    // Whether the kGap bytes from `at` are all NULs: a fixed count of words OR-ed, which the compiler makes vector ORs of.
    auto clear = [&](size_t at) {
        uint64_t any = 0;
        for (size_t i = 0; i < kGap; i += 8) {
            uint64_t w;
            std::memcpy(&w, b + at + i, 8);
            any |= w;
        }
        return any == 0;
    };
    size_t at = 0, end = 0;
    while (at < room) {
        const size_t len = std::strlen(b + at);  // ends inside the buffer: its last byte is a NUL
        if (len != 0) end = at + len;
        at += len + 1;
        // Every byte past the room is a NUL; within a gap of the buffer's end
        // the gap is not read, and the NULs there are passed one by one.
        if (at + kGap <= buf.size() && clear(at)) break;
    }
    dirty = end;  // past it, the buffer was found clear
    return std::string_view(b, std::min<size_t>(end, room));
}

}  // namespace

// Text of a policy is a bounded multiple of its wire size (the longest item
// text per wire byte is a prefix entry's), so the room and the scan for the
// text's end follow the attribute length.
uint32_t Plugin::TextRoom(const TAM_RPD_ROUTE_VIEW &v) {
    const size_t room = 1024 + size_t{16} * v.ulAttrLen;
    return static_cast<uint32_t>(room < kTextRoom ? room : kTextRoom);
}

KeyFields KeyFieldsOf(const OutBuf &key) {
    KeyFields f;
    TAM_RPD_ROUTE_KEY k;
    if (!key.hasKey() || key.keyLen() != sizeof(k)) return f;
    std::memcpy(&k, key.key(), sizeof(k));
    f.policyType = k.ucPolicyType;
    f.distinguisher = k.ulDistinguisher;
    std::memcpy(&f.peer, k.aucPeerAddr, sizeof(f.peer));  // the first four bytes hold a host-order word
    return f;
}

Plugin::~Plugin() {
    if (inst_ != nullptr) destruct_(inst_);
    if (handle_ != nullptr) dlclose(handle_);
}

bool Plugin::Load(const std::string &path, std::string &err) {
    handle_ = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle_ == nullptr) {
        err = std::string("cannot load the plug-in: ") + dlerror();
        return false;
    }
    auto construct = reinterpret_cast<decltype(&TAM_RPD_Construct)>(dlsym(handle_, "TAM_RPD_Construct"));
    destruct_ = reinterpret_cast<decltype(&TAM_RPD_Destruct)>(dlsym(handle_, "TAM_RPD_Destruct"));
    if (construct == nullptr || destruct_ == nullptr) {
        err = path + " does not export TAM_RPD_Construct and TAM_RPD_Destruct";
        return false;
    }
    std::memset(&ops_, 0, sizeof(ops_));
    inst_ = construct(&ops_, kModule);
    if (inst_ == nullptr) {
        err = "TAM_RPD_Construct refused the registration";
        return false;
    }
    if (ops_.ucPktTypeNum < 3 || ops_.pfnParsePkt == nullptr || ops_.pfnData2Str == nullptr || ops_.pfnFormatDisp == nullptr ||
        ops_.pfnCmpData == nullptr) {
        err = "the plug-in's operations record lacks packet types or callbacks this host needs";
        return false;
    }
    textBuf_.assign(kTextRoom + 1, '\0');  // the last byte, past any room, stays the NUL that ends a full text
    return true;
}

char *Plugin::TextBuffer() const {
    std::memset(textBuf_.data(), 0, dirty_);
    dirty_ = 0;
    return textBuf_.data();
}

uint32_t Plugin::Text(const TAM_RPD_ROUTE_VIEW &v, uint32_t type, std::string_view &text) const {
    uint32_t c1 = 0, c2 = 0;
    const uint32_t room = TextRoom(v);
    const uint32_t st = ops_.pfnData2Str(&v, type, TextBuffer(), room, &c1, &c2, inst_);
    text = TakeText(textBuf_, room, dirty_);
    return st;
}

uint32_t Plugin::Display(const TAM_RPD_ROUTE_VIEW &v, uint32_t code, std::string_view &text) const {
    uint32_t c1 = 0, c2 = 0;
    const uint32_t room = TextRoom(v);
    char *cur = TextBuffer();
    const uint32_t st = ops_.pfnFormatDisp(&v, code, &cur, room, &c1, &c2, inst_);
    text = TakeText(textBuf_, room, dirty_);
    return st;
}

uint32_t Plugin::CfgText(const TAM_RPD_ROUTE_VIEW &v, std::string_view &text) const {
    uint32_t w1 = 0, w2 = 0;
    const uint32_t room = TextRoom(v);
    uint8_t *cur = reinterpret_cast<uint8_t *>(TextBuffer());
    const uint32_t st = ops_.pfnFormatCfg(&v, TAM_RPD_CFG_TYPE_POLICY_TEXT, &cur, room, &w1, &w2);
    text = TakeText(textBuf_, room, dirty_);
    return st;
}

}  // namespace rpdhost
