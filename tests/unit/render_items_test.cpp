// Item renderers: exact texts, counted NULs and room edges.
#include <string>

#include "wc_view.h"

using namespace tamtest;
using namespace rpdwire;

namespace {

// A canary-guarded buffer: `room` usable bytes followed by bytes that must never change.
struct Guarded {
    static constexpr size_t kCanary = 32;
    std::vector<char> bytes;
    uint32_t room;
    explicit Guarded(uint32_t r) : bytes(r + kCanary, '\x5A'), room(r) {}
    char *buf() { return bytes.data(); }
    bool intact() const {
        for (size_t i = room; i < bytes.size(); ++i)
            if (bytes[i] != '\x5A') return false;
        return true;
    }
    std::string text(uint32_t n) const { return std::string(bytes.data(), n); }
};

}  // namespace

class RenderItems : public PluginTest {
protected:
    // Decodes a policy so that its sub-records are real decoder output.
    std::unique_ptr<Decoded> Dec(std::vector<Tlv> atoms, std::vector<Tlv> actions = {}) {
        Policy p;
        p.community = actions.empty() ? kMatchAndNoAdv : kMatchAndSet;
        p.atoms = atoms.empty() ? std::vector<Tlv>{AsPathAtom("x")} : std::move(atoms);
        p.actions = std::move(actions);
        auto d = std::make_unique<Decoded>(Encode(p), inst_);
        EXPECT_EQ(d->status, TAM_RPD_OK);
        return d;
    }
};

TEST_F(RenderItems, AsPathFilters) {
    struct Case {
        std::vector<std::string> texts;
        uint32_t room;
        std::string out;  // counted bytes
    };
    const Case cases[] = {
        {{"^100$"}, 6, std::string("^100$\0", 6)},
        {{"^100$"}, 4, std::string("^10\0", 4)},
        {{"^100$"}, 1, std::string("\0", 1)},
        {{"^1$", "^2$"}, 64, std::string("^1$\0^2$\0", 8)},
        {{"^1$", "^2$"}, 6, std::string("^1$\0^\0", 6)},
    };
    for (const Case &c : cases) {
        std::vector<Tlv> atoms;
        for (const std::string &t : c.texts) atoms.push_back(AsPathAtom(t));
        auto d = Dec(atoms);
        Guarded g(c.room);
        uint32_t len = 0;
        TAM_RPD_OutputAspathFilterData(g.buf(), g.room, &d->rec.stMatch, &len);
        EXPECT_EQ(len, c.out.size()) << c.room;
        EXPECT_EQ(g.text(len), c.out) << c.room;
        EXPECT_TRUE(g.intact()) << c.room;
    }
}

TEST_F(RenderItems, CommunityFilters) {
    auto two = Dec({CmtyAtom({0x00010002}), CmtyAtom({0x00030004})});
    auto one = Dec({CmtyAtom({0x00010002, 0x00030004})});
    for (auto *d : {two.get(), one.get()}) {
        Guarded g(64);
        uint32_t len = 0;
        TAM_RPD_OutputCmtyFilterData(g.buf(), g.room, &d->rec.stMatch, &len);
        EXPECT_EQ(len, 7u);
        EXPECT_EQ(std::string(g.buf()), "1:2 3:4 ");  // final blank present, not counted
    }
    auto big = Dec({CmtyAtom({0xFFFFFFFF})});
    Guarded g(64);
    uint32_t len = 0;
    TAM_RPD_OutputCmtyFilterData(g.buf(), g.room, &big->rec.stMatch, &len);
    EXPECT_EQ(g.text(len), "65535:65535");

    // Stop rule: the first value that does not fit ends the text at the last complete one.
    for (uint32_t room = 1; room <= 9; ++room) {
        Guarded s(room);
        uint32_t l = 99;
        TAM_RPD_OutputCmtyFilterData(s.buf(), room, &two->rec.stMatch, &l);
        EXPECT_TRUE(s.intact()) << room;
        if (room <= 4) {
            EXPECT_EQ(l, 0u) << room;
        } else if (room <= 8) {
            EXPECT_EQ(l, 4u) << room;
            EXPECT_EQ(s.text(4), std::string("1:2\0", 4)) << room;
        } else {
            EXPECT_EQ(l, 7u) << room;
        }
    }
}

TEST_F(RenderItems, PrefixList) {
    struct Case {
        PrefixEntry entry;
        uint32_t room;
        std::string out;
    };
    const Case cases[] = {
        {{0x0A000000, 8, 0, 0, 0}, 64, std::string("10.0.0.0 8\0", 11)},
        {{0x0A000000, 8, 16, 24, 3}, 128, "10.0.0.0 8 greater-equal 16 less-equal 24"},
        {{0xC0A80100, 24, 25, 0, 1}, 56, "192.168.1.0 24 greater-equal 25"},
        {{0xC0A80100, 24, 25, 0, 1}, 55, ""},
        {{0xC0A80100, 24, 0, 30, 2}, 53, "192.168.1.0 24 less-equal 30"},
        {{0xC0A80100, 24, 0, 30, 2}, 52, ""},
        {{0x0A000000, 8, 0, 0, 0}, 39, std::string("10.0.0.0 8\0", 11)},
        {{0x0A000000, 8, 0, 0, 0}, 38, ""},
        {{0xFFFFFFFF, 32, 32, 32, 3}, 69, "255.255.255.255 32 greater-equal 32 less-equal 32"},
    };
    for (const Case &c : cases) {
        auto d = Dec({PrefixAtom({c.entry})});
        Guarded g(c.room);
        uint32_t len = 99;
        TAM_RPD_OutputPrefixFilterData(g.buf(), g.room, d->rec.stMatch.pstPrefixList, &len);
        EXPECT_EQ(g.text(len), c.out) << c.room;
        EXPECT_TRUE(g.intact());
    }
    // Entries follow one another; bounded entries are kept apart by a blank.
    auto d = Dec({PrefixAtom({{0x0A000000, 8, 0, 0, 0}, {0x0B000000, 8, 9, 0, 1}, {0x0C000000, 8, 0, 0, 0}})});
    char buf[256];
    uint32_t len = 0;
    TAM_RPD_OutputPrefixFilterData(buf, sizeof(buf), d->rec.stMatch.pstPrefixList, &len);
    EXPECT_EQ(std::string(buf, len), std::string("10.0.0.0 8\0" "11.0.0.0 8 greater-equal 9 12.0.0.0 8\0", 49));
    EXPECT_EQ(TAM_RPD_GetIfmatchPFMaxStrLenByType(0), 38);
    EXPECT_EQ(TAM_RPD_GetIfmatchPFMaxStrLenByType(3), 68);
    EXPECT_EQ(TAM_RPD_GetIfmatchPFMaxStrLenByType(4), 0);
    TAM_RPD_OutputPrefixFilterData(buf, sizeof(buf), nullptr, nullptr);
    EXPECT_EQ(Asserts(), 1u);
}

TEST_F(RenderItems, Actions) {
    struct Case {
        const char *name;
        Tlv action;
        uint32_t room;
        std::string out;
    };
    const Case cases[] = {
        {"MED add, longest", MedAction(1, 4294967295u), 13, "+ 4294967295"},
        {"MED in room 12", MedAction(1, 5), 12, ""},
        {"MED subtract", MedAction(2, 100), 13, "- 100"},
        {"MED set", MedAction(0, 50), 13, "50"},
        {"MED other operation sets", MedAction(9, 7), 13, "7"},
        {"AS-path action", AsPathAction({{100, 2}, {200, 1}}), 64, "100 100 200 additive"},
        {"AS-path action, no repeats", AsPathAction({{100, 0}}), 64, "additive"},
        {"AS-path action, too little room", AsPathAction({{100, 2}, {200, 1}}), 20, ""},
        {"AS-path action, exact room", AsPathAction({{100, 2}, {200, 1}}), 21, "100 100 200 additive"},
        {"community action", CmtyAction({100, 200}), 64, "100 200 additive"},
        {"community action, whole values", CmtyAction({0xFFFFFFFF}), 64, "4294967295 additive"},
    };
    for (const Case &c : cases) {
        auto d = Dec({}, {c.action});
        Guarded g(c.room);
        uint32_t len = 99;
        const TAM_RPD_WC_APPLY &a = d->rec.stApply;
        if (a.pstMed) TAM_RPD_OutputApplyCmtyData(g.buf(), g.room, a.pstMed, &len);
        if (a.pstAsPath) TAM_RPD_OutputAsPathApplyData(g.buf(), g.room, a.pstAsPath, &len);
        if (a.pstCmty) TAM_RPD_OutputCommunityApplyData(g.buf(), g.room, a.pstCmty, &len);
        EXPECT_EQ(g.text(len), c.out) << c.name;
        EXPECT_TRUE(g.intact()) << c.name;
    }
}

TEST_F(RenderItems, AsPathActionLongerThanTheWorkAreaStaysWhole) {
    // 63 repeats of a 10-digit AS number: far more than 255 characters.
    auto d = Dec({}, {AsPathAction({{4000000000u, 63}})});
    std::vector<char> buf(2048, 'Z');
    uint32_t len = 0;
    TAM_RPD_OutputAsPathApplyData(buf.data(), 2048, d->rec.stApply.pstAsPath, &len);
    const std::string text(buf.data(), len);
    ASSERT_GE(text.size(), 8u);
    EXPECT_EQ(text.substr(text.size() - 8), "additive");
    EXPECT_LE(text.size(), 255u + 8u);
    // Only whole numbers appear.
    std::string numbers = text.substr(0, text.size() - 8);
    EXPECT_EQ(numbers.size() % 11, 0u);
    for (size_t i = 0; i < numbers.size(); i += 11) EXPECT_EQ(numbers.substr(i, 11), "4000000000 ");

    // The work area holds 255 characters: 23 numbers of 11 take 253, and a
    // following "10 " would need 256.
    auto edge = Dec({}, {AsPathAction({{4000000000u, 23}, {10, 1}})});
    TAM_RPD_OutputAsPathApplyData(buf.data(), 2048, edge->rec.stApply.pstAsPath, &len);
    EXPECT_EQ(std::string(buf.data(), len), numbers.substr(0, 253) + "additive");
}

TEST_F(RenderItems, NullArguments) {
    char buf[8];
    uint32_t len = 5;
    const uint8_t b[2] = {'a', 'b'};
    TAM_RPD_OutputAspathFilterData(buf, 8, nullptr, &len);
    EXPECT_EQ(len, 0u);
    len = 5;
    TAM_RPD_OutputCmtyFilterData(buf, 0, nullptr, &len);
    EXPECT_EQ(len, 0u);
    len = 5;
    TAM_RPD_OutputApplyCmtyData(nullptr, 8, nullptr, &len);
    EXPECT_EQ(len, 0u);
    TAM_RPD_OutputAsPathApplyData(buf, 8, nullptr, nullptr);
    TAM_RPD_OutputCommunityApplyData(buf, 8, nullptr, nullptr);
    EXPECT_EQ(Asserts(), 0u);
    TAM_RPD_UCHAR2Str(nullptr, 8, b, 2);
    TAM_RPD_UCHAR2Str(buf, 8, nullptr, 2);
    EXPECT_EQ(Asserts(), 2u);
    EXPECT_EQ(TAM_RPD_UCHAR2Str(buf, 8, b, 2), 2u);
    EXPECT_EQ(std::string(buf), "ab");
}
