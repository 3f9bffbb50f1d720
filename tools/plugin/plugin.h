// The plug-in as the host sees it: a dlopen-ed object, its operations record
// and the route output buffers its callbacks hand over.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "route_buffers.h"
#include "tam_rpd.h"

namespace rpdhost {

// The fields of a stored route key (zeros when the buffer holds no key of the right length).
struct KeyFields {
    uint8_t policyType = 0;
    uint32_t distinguisher = 0;
    uint32_t peer = 0;  // host order
};
KeyFields KeyFieldsOf(const OutBuf &key);

class Plugin {
public:
    Plugin() = default;
    Plugin(const Plugin &) = delete;
    Plugin &operator=(const Plugin &) = delete;
    ~Plugin();
    // Loads the object, registers with a zeroed operations record and checks
    // that it handles the packet types the walk needs.
    bool Load(const std::string &path, std::string &err);

    const TAM_RPD_PLUGIN_OPS &ops() const { return ops_; }
    TAM_RPD_INSTANCE *inst() const { return inst_; }

    // Packet type codes as the record lists them.
    uint32_t reachType() const { return ops_.aulPktType[0]; }
    uint32_t unreachType() const { return ops_.aulPktType[1]; }
    uint32_t attrType() const { return ops_.aulPktType[2]; }

    // Renders one piece of text (Data2Str) or one display piece (FormatDisp)
    // into a zeroed buffer; `text` is the bytes up to the last one written,
    // in that buffer: valid until the next rendering, and a NUL follows it.
    uint32_t Text(const TAM_RPD_ROUTE_VIEW &v, uint32_t type, std::string_view &text) const;
    uint32_t Display(const TAM_RPD_ROUTE_VIEW &v, uint32_t code, std::string_view &text) const;
    // The policy text of a configuration message (FormatCfg type 16), taken the same way.
    uint32_t CfgText(const TAM_RPD_ROUTE_VIEW &v, std::string_view &text) const;
    // The room these texts are rendered in, for a view.
    static uint32_t TextRoom(const TAM_RPD_ROUTE_VIEW &v);

private:
    void *handle_ = nullptr;
    decltype(&TAM_RPD_Destruct) destruct_ = nullptr;
    TAM_RPD_PLUGIN_OPS ops_{};
    TAM_RPD_INSTANCE *inst_ = nullptr;
    // The text buffer, its bytes past `dirty_` all zero; cleared up to there and handed out.
    char *TextBuffer() const;
    mutable std::vector<char> textBuf_;
    mutable size_t dirty_ = 0;
};

}  // namespace rpdhost
