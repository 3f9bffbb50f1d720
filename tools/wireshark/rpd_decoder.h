// One BGP message as the plug-in's host sees it, for the Wireshark
// dissector: its RPD routes with the plug-in's key texts, its policy (the
// plug-in's display pieces and the structure on the wire) and the reason
// for each refusal, from rpd-host's own walk and diagnostic reading.
// Nothing here knows Wireshark, so the tests drive it directly.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "plugin.h"
#include "route_sink.h"
#include "walk.h"
#include "wc_explain.h"

namespace rpdhost {

struct RpdRoute {
    bool announce = true;
    KeyFields key;         // as the plug-in decoded it
    std::string keyText;   // the plug-in's key text, its padding folded
    size_t offset = 0;     // of the NLRI in the message
    size_t length = 0;
};

struct RpdPiece {
    uint32_t code = 0;
    const char *name = "";
    uint32_t status = 0;
    std::string text;
};

struct RpdPolicy {
    bool present = false, accepted = false;
    size_t offset = 0, length = 0;  // of the attribute value in the message
    // The policy as the diagnostic reading found it, when it agreed with the
    // plug-in; held by the decoder until its next decode.
    const WcPolicy *wire = nullptr;
    // The plug-in's own texts, when asked for or the reading failed: its
    // policy text (NUL-separated items) and its display pieces.
    uint32_t textStatus = 0;
    std::string text;
    std::vector<RpdPiece> pieces;
    // The first line of the plug-in's MED and AS-path action pieces ("+ 50"):
    // the text of those action fields.
    std::string medText, asPathText;
};

// A refusal or damage, in rpd-host's words: the rule and the byte.
struct RpdRefusal {
    std::string what, status;
    bool hasByte = false;
    size_t messageByte = 0;
};

struct RpdMessage {
    std::vector<RpdRoute> routes;
    RpdPolicy policy;
    std::vector<RpdRefusal> refusals;
    bool Empty() const { return routes.empty() && !policy.present && refusals.empty(); }
};

// What a decode renders besides the fields: each route's key text, the
// policy's own texts (its policy text and display pieces: eight more decodes
// by the plug-in) and the texts of its MED and AS-path actions (one decode
// each, when the policy has them). A policy the diagnostic reading could not
// read gets its own texts whatever is asked: they are all there is to show.
struct RpdTexts {
    bool keys = true, plugin = true, actions = true;
};

class RpdDecoder {
public:
    RpdDecoder();
    ~RpdDecoder();
    // Loads the plug-in; false with the reason when it cannot.
    bool Load(const std::string &path, uint8_t wideCommunityCode, std::string &err);
    bool Loaded() const { return walk_ != nullptr; }
    // Decodes one whole BGP message (marker included); `number` names it in refusals.
    const RpdMessage &Decode(const uint8_t *message, size_t n, uint64_t number, RpdTexts texts = {});

private:
    class Collector;
    Plugin plugin_;
    std::unique_ptr<Collector> collector_;
    std::unique_ptr<RouteWalk> walk_;
    Message message_;  // the one being decoded (its room kept for the next)
    RpdMessage out_;
};

}  // namespace rpdhost
