// Route-to-string and display: golden texts, room handling, refusals.
#include <string>

#include "wc_view.h"

using namespace tamtest;
using namespace rpdwire;

namespace {

const std::string kNlriLine =
    "RPD NLRI: Route Type: Export Policy,                             Peer Address: 10.1.1.1,"
    "                              Distinguisher: 7 \n";

std::string ContainerBlock(const char *flags, unsigned hops, const char *cmtyLine, unsigned src, unsigned ctx) {
    return std::string("Wide-community Container 1:\n") + "     Type                 : 1\n" +
           "     Flag                 : " + flags + "(Local, Not applicate confederation)\n" +
           "     Hop-Count            : " + std::to_string(hops) + "\n" + cmtyLine +
           "     Source AS number     : " + std::to_string(src) + "\n" +
           "     Context AS number    : " + std::to_string(ctx) + "\n";
}

Policy ExamplePolicy() {
    Policy p;
    p.srcAs = 100;
    p.contextAs = 200;
    p.atoms = {AsPathAtom("^100$"), CmtyAtom({0x00010002}), PrefixAtom({{0x0A000000, 8, 0, 0, 0}})};
    p.actions = {MedAction(0, 50)};
    return p;
}

const std::string kExampleText =
    ContainerBlock("00", 0, "     Community value      : 0x90000003(MATCH AND SET)\n", 100, 200) +
    "     Wide-community Target(1):\n" + std::string("^100$\0", 6) + "1:2" + std::string("10.0.0.0 8\0", 11) +
    "     Wide-community Parameter(3):\n" + std::string("50\0", 3);

}  // namespace

class RenderText : public PluginTest {
protected:
    void TearDown() override {
        stored_.reset();
        PluginTest::TearDown();
    }
    // Parses a policy through the packet callback: the stored copy the host keeps.
    void Store(const Policy &p) {
        const Bytes v = Encode(p);
        const uint8_t *cur = v.data();
        uint32_t more = 0;
        ASSERT_EQ(TAM_RPD_ParsePkt(&cur, static_cast<uint32_t>(v.size()), 11, stored_.slot(), &more, inst_),
                  TAM_RPD_OK);
        view_ = JunkViewOf(stored_);
    }
    uint32_t Text(char *buf, uint32_t room, uint32_t &c1, uint32_t &c2) {
        return TAM_RPD_Data2Str(&view_, 0x40, buf, room, &c1, &c2, inst_);
    }
    OutBuf stored_;
    TAM_RPD_ROUTE_VIEW view_{};
};

TEST_F(RenderText, NlriLine) {
    TAM_RPD_ROUTE_KEY key = MakeKey(7, 0x0A010101);
    TAM_RPD_ROUTE_VIEW v = JunkView(reinterpret_cast<uint8_t *>(&key), 24, nullptr, 0);
    std::vector<char> buf(200, '#');
    uint32_t c1 = 9, c2 = 9;
    ASSERT_EQ(TAM_RPD_Data2Str(&v, 1, buf.data(), 200, &c1, &c2, inst_), TAM_RPD_OK);
    ASSERT_EQ(kNlriLine.size(), 136u);
    EXPECT_EQ(std::string(buf.data(), 136), kNlriLine);
    EXPECT_EQ(buf[136], '#');  // no terminator copied
    EXPECT_EQ(c1, 0u);
    EXPECT_EQ(c2, 0u);
    EXPECT_EQ(inst_->ulScratchInUse, 0u);
    EXPECT_EQ(TAMHOST_AllocCount(), 0u);  // the work buffer is the instance's own

    // A room shorter than the line: the copy is refused, the call still succeeds.
    std::vector<char> small(100, '#');
    EXPECT_EQ(TAM_RPD_Data2Str(&v, 1, small.data(), 100, &c1, &c2, inst_), TAM_RPD_OK);
    EXPECT_EQ(small, std::vector<char>(100, '#'));

    // With the scratch area lent out, host memory serves and is given back.
    void *lent = TAM_RPD_Malloc(inst_, 1);
    EXPECT_EQ(TAM_RPD_Data2Str(&v, 1, buf.data(), 200, &c1, &c2, inst_), TAM_RPD_OK);
    EXPECT_EQ(Live(), 0u);
    TAMHOST_FailNthAlloc(1);
    EXPECT_EQ(TAM_RPD_Data2Str(&v, 1, buf.data(), 200, &c1, &c2, inst_), TAM_RPD_ERR_NOMEM);
    TAM_RPD_Free(&lent, inst_);
    EXPECT_EQ(Asserts(), 1u);
}

TEST_F(RenderText, NlriLineRefusesMalformedKeys) {
    struct Case {
        const char *name;
        uint32_t keyLen;
        uint8_t policy, addrLen;
        bool nullKey;
    };
    const Case cases[] = {{"key length 23", 23, 1, 4, false}, {"key length 25", 25, 1, 4, false},
                          {"policy type 2", 24, 2, 4, false}, {"address length 16", 24, 1, 16, false},
                          {"no key", 24, 1, 4, true}};
    for (const Case &c : cases) {
        TAM_RPD_ROUTE_KEY key = MakeKey(7, 1, c.policy, c.addrLen);
        TAM_RPD_ROUTE_VIEW v = JunkView(c.nullKey ? nullptr : reinterpret_cast<uint8_t *>(&key), c.keyLen, nullptr, 0);
        char buf[200];
        std::memset(buf, '#', sizeof(buf));
        uint32_t c1 = 9, c2 = 9;
        EXPECT_EQ(TAM_RPD_Data2Str(&v, 1, buf, 200, &c1, &c2, inst_), TAM_RPD_ERR_PKT_MALFORMED) << c.name;
        EXPECT_EQ(buf[0], '#') << c.name;
        EXPECT_EQ(c1 + c2, 18u) << c.name;
    }
    EXPECT_EQ(Asserts(), 0u);
}

TEST_F(RenderText, UnknownTextType) {
    TAM_RPD_ROUTE_KEY key = MakeKey(7, 1);
    TAM_RPD_ROUTE_VIEW v = JunkView(reinterpret_cast<uint8_t *>(&key), 24, nullptr, 0);
    char buf[200];
    uint32_t c1 = 0, c2 = 0;
    EXPECT_EQ(TAM_RPD_Data2Str(&v, 2, buf, 200, &c1, &c2, inst_), TAM_RPD_ERR_NO_DATA2STR);
    EXPECT_EQ(Asserts(), 0u);
}

TEST_F(RenderText, CompositeExampleByteForByte) {
    Store(ExamplePolicy());
    std::vector<char> buf(1024, '#');
    uint32_t c1 = 9, c2 = 9;
    ASSERT_EQ(Text(buf.data(), 1024, c1, c2), TAM_RPD_OK);
    EXPECT_EQ(std::string(buf.data(), kExampleText.size()), kExampleText);
    EXPECT_EQ(buf[kExampleText.size()], '#');
    EXPECT_EQ(c1, 9u);  // never written
    EXPECT_EQ(c2, 0u);
    EXPECT_EQ(Live(), 1u);  // the stored buffer only: temporaries are gone
}

TEST_F(RenderText, ContainerBlock) {
    struct Case {
        uint8_t flags;
        uint8_t hops;
        uint32_t community;
        const char *flagText;
        const char *line;
    };
    const Case cases[] = {
        {0x04, 0, kMatchAndNoAdv, "04", "     Community value      : 0x90000004(MATCH AND NOADV)\n"},
        {0xFC, 255, kMatchAndSet, "fc", "     Community value      : 0x90000003(MATCH AND SET)\n"},
    };
    for (const Case &c : cases) {
        TAM_RPD_WC_ATTR rec;
        std::memset(&rec, 0, sizeof(rec));
        rec.ucFlags = c.flags;
        rec.ucHopCount = c.hops;
        rec.ulCommunity = c.community;
        rec.ulSrcAsNum = 4294967295u;
        rec.ulContextAsNum = 1;
        char buf[400];
        uint32_t len = 0;
        TAM_RPD_OutputWideCmtyPublicData(buf, sizeof(buf), &rec, &len);
        const std::string expect = ContainerBlock(c.flagText, c.hops, c.line, 4294967295u, 1);
        EXPECT_EQ(std::string(buf, len), expect);
        EXPECT_LE(len, 291u);
    }
    // Another community value: no community line at all.
    TAM_RPD_WC_ATTR rec;
    std::memset(&rec, 0, sizeof(rec));
    rec.ucFlags = 5;
    rec.ulCommunity = 0x90000005;
    char buf[400];
    uint32_t len = 0;
    TAM_RPD_OutputWideCmtyPublicData(buf, sizeof(buf), &rec, &len);
    EXPECT_EQ(std::string(buf, len), ContainerBlock("05", 0, "", 0, 0));
    // The block is written only from a room of 296 on.
    len = 0;
    TAM_RPD_OutputWideCmtyPublicData(buf, 295, &rec, &len);
    EXPECT_EQ(len, 0u);
    TAM_RPD_OutputWideCmtyPublicData(buf, 296, &rec, &len);
    EXPECT_GT(len, 0u);
}

TEST_F(RenderText, SmallRooms) {
    Store(ExamplePolicy());
    const std::string sections = kExampleText.substr(kExampleText.find("     Wide-community Target"));
    uint32_t c1 = 0, c2 = 0;
    std::vector<char> buf(400, '#');
    ASSERT_EQ(Text(buf.data(), 295, c1, c2), TAM_RPD_OK);
    EXPECT_EQ(std::string(buf.data(), sections.size()), sections);  // container block left out
    ASSERT_EQ(Text(buf.data(), 296, c1, c2), TAM_RPD_OK);
    EXPECT_EQ(std::string(buf.data(), 27), "Wide-community Container 1:");

    std::fill(buf.begin(), buf.end(), '#');
    ASSERT_EQ(Text(buf.data(), 20, c1, c2), TAM_RPD_OK);
    EXPECT_EQ(buf[0], '\0');  // nothing fits: an empty text
    for (size_t i = 20; i < buf.size(); ++i) ASSERT_EQ(buf[i], '#');
}

TEST_F(RenderText, ParameterHeaderThatDoesNotFitEndsTheLine) {
    Policy p = ExamplePolicy();
    p.atoms = {AsPathAtom("^100$")};
    Store(p);
    // Target header (31) and "^100$"+NUL (6) fit, the Parameter header (34) does not.
    std::vector<char> buf(200, '#');
    uint32_t c1 = 0, c2 = 0;
    ASSERT_EQ(Text(buf.data(), 31 + 6 + 10, c1, c2), TAM_RPD_OK);
    EXPECT_EQ(std::string(buf.data(), 37), "     Wide-community Target(1):\n^100$\n");
    for (size_t i = 47; i < buf.size(); ++i) ASSERT_EQ(buf[i], '#');
}

TEST_F(RenderText, AttributeRefusals) {
    Store(ExamplePolicy());
    char buf[600];
    uint32_t c1 = 9, c2 = 9;
    TAM_RPD_ROUTE_VIEW v = view_;
    v.ulAttrLen += 1;
    EXPECT_EQ(TAM_RPD_Data2Str(&v, 0x40, buf, 600, &c1, &c2, inst_), TAM_RPD_ERR_PKT_MALFORMED);
    v.ulAttrLen += 65535;  // same low 16 bits: still refused here
    EXPECT_EQ(TAM_RPD_Data2Str(&v, 0x40, buf, 600, &c1, &c2, inst_), TAM_RPD_ERR_PKT_MALFORMED);
    v = view_;
    v.pucAttr = nullptr;
    EXPECT_EQ(TAM_RPD_Data2Str(&v, 0x40, buf, 600, &c1, &c2, inst_), TAM_RPD_ERR_PKT_MALFORMED);
    // Raw bytes that no longer decode.
    std::vector<uint8_t> copy(stored_.attr(), stored_.attr() + view_.ulAttrLen);
    copy[132] = 9;  // container type
    v = JunkView(nullptr, 0, copy.data(), view_.ulAttrLen);
    EXPECT_EQ(TAM_RPD_Data2Str(&v, 0x40, buf, 600, &c1, &c2, inst_), TAM_RPD_ERR);
    EXPECT_EQ(c1 + c2, 18u);
    EXPECT_EQ(Live(), 1u);
    EXPECT_EQ(Asserts(), 0u);
}

class Display : public RenderText {
protected:
    uint32_t Disp(uint32_t code, char *buf, uint32_t room, uint32_t &c1, uint32_t &c2,
                  const TAM_RPD_ROUTE_VIEW *v = nullptr) {
        char *cur = buf;
        return TAM_RPD_FormatDisp(v ? v : &view_, code, &cur, room, &c1, &c2, inst_);
    }
};

TEST_F(Display, EveryPiece) {
    Policy p = FullPolicy();
    Store(p);
    struct Case {
        uint32_t code;
        std::string text;
    };
    const Case cases[] = {
        {0x01, ContainerBlock("80", 3, "     Community value      : 0x90000003(MATCH AND SET)\n", 100, 200)},
        {0x02, std::string("^100$\0_200_", 11)},
        {0x04, "1:2 65535:65535 100:1 "},
        {0x08, std::string("10.0.0.0 8\0" "192.168.0.0 16 greater-equal 24 172.16.0.0 12 less-equal 20 "
                           "10.1.0.0 16 greater-equal 18 less-equal 24", 113)},
        {0x10, "+ 50"},
        {0x20, "100 100 200 additive"},
        {0x40, "100 200 additive"},
    };
    for (const Case &c : cases) {
        std::vector<char> buf(1024, '#');
        uint32_t c1 = 9, c2 = 9;
        ASSERT_EQ(Disp(c.code, buf.data(), 1024, c1, c2), TAM_RPD_OK) << c.code;
        EXPECT_EQ(std::string(buf.data(), c.text.size()), c.text) << c.code;
        EXPECT_EQ(buf[c.text.size()], '\0') << c.code;
        EXPECT_EQ(c1, 9u);
        EXPECT_EQ(c2, 0u);
    }
    EXPECT_EQ(Live(), 1u);
    EXPECT_EQ(Asserts(), 0u);
}

TEST_F(Display, CodesAbsentPiecesAndLengths) {
    Store(MinimalPolicy());
    std::vector<char> buf(512, '#');
    uint32_t c1 = 9, c2 = 9;
    for (uint32_t code : {0u, 3u, 0x80u, 0x41u})
        EXPECT_EQ(Disp(code, buf.data(), 512, c1, c2), TAM_RPD_ERR_NO_HANDLER) << code;
    for (uint32_t code : {0x04u, 0x08u, 0x10u, 0x20u, 0x40u}) {
        c2 = 9;
        EXPECT_EQ(Disp(code, buf.data(), 512, c1, c2), TAM_RPD_OK) << code;
        EXPECT_EQ(c2, 0u);
        EXPECT_EQ(buf[0], '#') << code;  // absent piece: nothing written
    }
    c2 = 9;
    EXPECT_EQ(Disp(0x01, buf.data(), 295, c1, c2), TAM_RPD_OK);
    EXPECT_EQ(buf[0], '#');
    EXPECT_EQ(Disp(0x01, buf.data(), 296, c1, c2), TAM_RPD_OK);
    EXPECT_EQ(buf[0], 'W');

    TAM_RPD_ROUTE_VIEW v = view_;
    v.ulAttrLen = 17;
    c2 = 9;
    EXPECT_EQ(Disp(0x02, buf.data(), 512, c1, c2, &v), TAM_RPD_ERR);
    EXPECT_EQ(c2, 0u);
    v.ulAttrLen = 18;  // not compared with the record: decoding goes on
    EXPECT_EQ(Disp(0x02, buf.data(), 512, c1, c2, &v), TAM_RPD_OK);
    v.pucAttr = nullptr;
    c2 = 9;
    EXPECT_EQ(Disp(0x02, buf.data(), 512, c1, c2, &v), TAM_RPD_OK);
    EXPECT_EQ(c2, 0u);
    EXPECT_EQ(c1, 9u);

    // Raw bytes altered so they no longer decode: pieces refuse, the container still shows.
    std::vector<uint8_t> copy(stored_.attr(), stored_.attr() + view_.ulAttrLen);
    copy[132 + 18] = 7;  // Target TLV type
    v = JunkView(nullptr, 0, copy.data(), view_.ulAttrLen);
    for (uint32_t code : {0x02u, 0x04u, 0x08u, 0x10u, 0x20u, 0x40u}) {
        c2 = 9;
        EXPECT_EQ(Disp(code, buf.data(), 512, c1, c2, &v), TAM_RPD_ERR) << code;
        EXPECT_EQ(c2, 9u) << code;
    }
    EXPECT_EQ(Disp(0x01, buf.data(), 512, c1, c2, &v), TAM_RPD_OK);
    EXPECT_EQ(Live(), 1u);
    EXPECT_EQ(Asserts(), 0u);
}

TEST_F(Display, NoTextPositionIsRefusedWithoutAssertion) {
    Store(MinimalPolicy());
    char *nullText = nullptr;
    uint32_t c1 = 0, c2 = 0;
    EXPECT_EQ(TAM_RPD_FormatDisp(&view_, 2, &nullText, 64, &c1, &c2, inst_), TAM_RPD_ERR_PARA);
    EXPECT_EQ(Asserts(), 0u);
}

// A full policy rendered into every room from 0 to beyond its length: no byte
// past the room ever changes, whatever is cut.
TEST_F(Display, EveryRoomSizeStaysInsideTheRoom) {
    Policy p = FullPolicy();
    p.atoms.push_back(AsPathAtom(std::string(300, 'a')));
    Store(p);
    std::vector<char> full(4096, '#');
    uint32_t c1 = 0, c2 = 0;
    ASSERT_EQ(Text(full.data(), 4096, c1, c2), TAM_RPD_OK);
    const uint32_t textLen = static_cast<uint32_t>(std::find(full.rbegin(), full.rend(), '\0').base() - full.begin());
    constexpr size_t kCanary = 64;
    for (uint32_t room = 0; room <= textLen + 8; ++room) {
        std::vector<char> buf(room + kCanary, '\x5A');
        char *text = buf.data();
        ASSERT_EQ(TAM_RPD_Data2Str(&view_, 0x40, text, room, &c1, &c2, inst_), TAM_RPD_OK);
        for (uint32_t code = 1; code <= 0x40 && room != 0; code <<= 1) {
            char *cur = text;
            ASSERT_EQ(TAM_RPD_FormatDisp(&view_, code, &cur, room, &c1, &c2, inst_), TAM_RPD_OK);
            ASSERT_EQ(cur, text);
        }
        for (size_t i = room; i < buf.size(); ++i) ASSERT_EQ(buf[i], '\x5A') << "room " << room << " byte " << i;
    }
    EXPECT_EQ(Live(), 1u);
    EXPECT_EQ(inst_->ulScratchInUse, 0u);
    EXPECT_EQ(Asserts(), 0u);
}
