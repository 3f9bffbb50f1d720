// Scratch lending, the debug log, route check and counters.
#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <string>

#include "plugin_fixture.h"

using namespace tamtest;

class Scratch : public PluginTest {};

TEST_F(Scratch, LendsTheInlineAreaOnceAtATime) {
    void *a = TAM_RPD_Malloc(inst_, 100);
    void *b = TAM_RPD_Malloc(inst_, 100);
    EXPECT_EQ(a, inst_->aucScratch);
    EXPECT_EQ(inst_->ulScratchInUse, 1u);
    EXPECT_NE(b, inst_->aucScratch);
    EXPECT_EQ(Live(), 1u);
    TAM_RPD_Free(&a, inst_);
    EXPECT_EQ(a, nullptr);
    EXPECT_EQ(inst_->ulScratchInUse, 0u);
    TAM_RPD_Free(&b, inst_);
    EXPECT_EQ(Live(), 0u);

    void *full = TAM_RPD_Malloc(inst_, 256);
    EXPECT_EQ(full, inst_->aucScratch);
    TAM_RPD_Free(&full, inst_);
    void *big = TAM_RPD_Malloc(inst_, 257);
    EXPECT_NE(big, inst_->aucScratch);
    EXPECT_EQ(inst_->ulScratchInUse, 0u);
    TAM_RPD_Free(&big, inst_);
    EXPECT_EQ(Asserts(), 0u);
}

TEST_F(Scratch, RefusalsAndAllocationFailure) {
    EXPECT_EQ(TAM_RPD_Malloc(inst_, 0), nullptr);
    EXPECT_EQ(Asserts(), 0u);
    EXPECT_EQ(TAM_RPD_Malloc(nullptr, 8), nullptr);
    EXPECT_EQ(Asserts(), 1u);

    void *lent = TAM_RPD_Malloc(inst_, 8);
    TAMHOST_FailNthAlloc(1);
    EXPECT_EQ(TAM_RPD_Malloc(inst_, 8), nullptr);
    EXPECT_EQ(inst_->ulScratchInUse, 1u);

    void *none = nullptr;
    TAM_RPD_Free(&none, inst_);
    TAM_RPD_Free(nullptr, inst_);
    TAM_RPD_Free(&lent, nullptr);
    EXPECT_EQ(Asserts(), 4u);
    EXPECT_EQ(inst_->ulScratchInUse, 1u);
    TAM_RPD_Free(&lent, inst_);
    EXPECT_EQ(inst_->ulScratchInUse, 0u);
}

namespace {

const char kLogDir[] = "/opt/KOV_TIR/1/qorv8/var/log";
const char kLogFile[] = "/opt/KOV_TIR/1/qorv8/var/log/TAMRPD_LOGINFO.log";

bool MakeDirs(const std::string &path) {
    for (size_t pos = 1; pos != std::string::npos; pos = path.find('/', pos + 1)) {
        std::string part = path.substr(0, path.find('/', pos));
        if (mkdir(part.c_str(), 0755) != 0 && errno != EEXIST) return false;
        if (path.find('/', pos) == std::string::npos) break;
    }
    return mkdir(path.c_str(), 0755) == 0 || errno == EEXIST;
}

std::string ReadAll(const char *file) {
    std::string s;
    if (FILE *f = std::fopen(file, "rb")) {
        char buf[4096];
        size_t n;
        while ((n = std::fread(buf, 1, sizeof(buf), f)) > 0) s.append(buf, n);
        std::fclose(f);
    }
    return s;
}

}  // namespace

// One test: the entries share the fixed log file, so they must not run in parallel.
TEST(DebugLog, AppendsTimeStampedEntriesAndCutsLongMessages) {
    if (!MakeDirs(kLogDir)) GTEST_SKIP() << "log directory cannot be created here";
    std::remove(kLogFile);
    TAMHOST_Reset();
    char console[2048];
    TAMHOST_CaptureConsole(console, sizeof(console));
    TAMHOST_SetClock(9, 5, 3, 7);
    TAM_RPD_Print_LogInfo(0, 0, 42, "x");
    TAM_RPD_Print_LogInfo(0, 0, 1, "100%% of %s", "routes");
    EXPECT_EQ(ReadAll(kLogFile),
              std::string("\r\n[TAM_RPD] [9:5:3:7] <42>:x \r\n\r\n[TAM_RPD] [9:5:3:7] <1>:100% of routes \r\n"));
    EXPECT_STREQ(console, "\r\n[TAM_RPD] [9:5:3:7] <42>:x\r\n[TAM_RPD] [9:5:3:7] <1>:100% of routes");

    TAMHOST_CaptureConsole(console, sizeof(console));
    std::string longText(3000, 'a');
    TAM_RPD_Print_LogInfo(0, 0, 3, "%s", longText.c_str());
    EXPECT_LT(std::strlen(console), 1000u);
    EXPECT_EQ(std::strncmp(console, "\r\n[TAM_RPD] [9:5:3:7] <3>:", 26), 0);
    TAMHOST_CaptureConsole(console, sizeof(console));
    TAM_RPD_Print_LogInfo(0, 0, 4, nullptr);  // no message: the stamp alone
    EXPECT_STREQ(console, "\r\n[TAM_RPD] [9:5:3:7] <4>:");
    EXPECT_EQ(TAMHOST_AssertCount(), 0u);
    std::remove(kLogFile);
    TAMHOST_Reset();
}

namespace {

struct RouteCase {
    const char *name;
    bool key;
    uint32_t keyLen;
    uint8_t policy, addrLen;
    bool attr;
    uint32_t attrLen;
    uint32_t status;
    uint32_t verdict;  // 99: untouched
};

}  // namespace

TEST(Bookkeeping, CheckRoute) {
    TAMHOST_Reset();
    uint8_t attr[32] = {};
    const RouteCase cases[] = {
        {"complete", true, 24, 1, 4, true, 18, TAM_RPD_OK, 1},
        {"attribute 17 bytes", true, 24, 1, 4, true, 17, TAM_RPD_ERR, 0},
        {"no attribute", true, 24, 1, 4, false, 18, TAM_RPD_ERR, 0},
        {"policy type 2", true, 24, 2, 4, true, 18, TAM_RPD_ERR, 0},
        {"address length 16", true, 24, 1, 16, true, 18, TAM_RPD_ERR, 0},
        {"key length 23", true, 23, 1, 4, true, 18, TAM_RPD_ERR, 99},
        {"no key", false, 24, 1, 4, true, 18, TAM_RPD_ERR, 99},
    };
    for (const RouteCase &c : cases) {
        TAM_RPD_ROUTE_KEY k = MakeKey(1, 1, c.policy, c.addrLen);
        TAM_RPD_ROUTE_VIEW v = JunkView(c.key ? reinterpret_cast<uint8_t *>(&k) : nullptr, c.keyLen,
                                        c.attr ? attr : nullptr, c.attrLen);
        uint32_t verdict = 99;
        EXPECT_EQ(TAM_RPD_CheckRoute(&v, nullptr, &verdict), c.status) << c.name;
        EXPECT_EQ(verdict, c.verdict) << c.name;
    }
    EXPECT_EQ(TAMHOST_AssertCount(), 0u);
    uint32_t verdict = 0;
    TAM_RPD_ROUTE_VIEW v = JunkView(nullptr, 0, nullptr, 0);
    EXPECT_EQ(TAM_RPD_CheckRoute(nullptr, nullptr, &verdict), TAM_RPD_ERR_PARA);
    EXPECT_EQ(TAM_RPD_CheckRoute(&v, nullptr, nullptr), TAM_RPD_ERR_PARA);
    EXPECT_EQ(TAMHOST_AssertCount(), 2u);
}

TEST(Bookkeeping, RouteType) {
    TAMHOST_Reset();
    TAM_RPD_ROUTE_KEY k1 = MakeKey(1, 1, 1), k2 = MakeKey(1, 1, 2);
    TAM_RPD_ROUTE_VIEW v1 = JunkView(reinterpret_cast<uint8_t *>(&k1), 24, nullptr, 0);
    TAM_RPD_ROUTE_VIEW v2 = JunkView(reinterpret_cast<uint8_t *>(&k2), 24, nullptr, 0);
    TAM_RPD_ROUTE_VIEW none = JunkView(nullptr, 0, nullptr, 0);
    uint32_t t = 9;
    EXPECT_EQ(TAM_RPD_GetRouteType(&v1, &t), TAM_RPD_OK);
    EXPECT_EQ(t, 1u);
    EXPECT_EQ(TAM_RPD_GetRouteType(&v2, &t), TAM_RPD_OK);
    EXPECT_EQ(t, 0u);
    t = 9;
    EXPECT_EQ(TAM_RPD_GetRouteType(&none, &t), TAM_RPD_ERR_PARA);
    EXPECT_EQ(t, 0u);
    EXPECT_EQ(TAM_RPD_GetRouteType(&v1, nullptr), TAM_RPD_ERR_PARA);
    EXPECT_EQ(TAMHOST_AssertCount(), 2u);
}

TEST(Bookkeeping, Counters) {
    TAMHOST_Reset();
    TAM_RPD_ROUTE_KEY k = MakeKey(1, 1, 1), k0 = MakeKey(1, 1, 0);
    TAM_RPD_ROUTE_VIEW v = JunkView(reinterpret_cast<uint8_t *>(&k), 24, nullptr, 0);
    TAM_RPD_ROUTE_VIEW v0 = JunkView(reinterpret_cast<uint8_t *>(&k0), 24, nullptr, 0);
    TAM_RPD_ROUTE_VIEW none = JunkView(nullptr, 0, nullptr, 0);
    uint32_t counters[2] = {0, 0};
    EXPECT_EQ(TAM_RPD_SetRtCount(&v, counters, 2, 0, 1), TAM_RPD_OK);
    EXPECT_EQ(counters[1], 4294967295u);
    EXPECT_EQ(TAM_RPD_SetRtCount(&v, counters, 2, 1, 3), TAM_RPD_OK);
    EXPECT_EQ(counters[1], 2u);
    EXPECT_EQ(TAM_RPD_SetRtCount(&v, counters, 1, 1, 1), TAM_RPD_ERR_PARA);
    EXPECT_EQ(TAM_RPD_SetRtCount(&v0, counters, 2, 1, 1), TAM_RPD_ERR_PARA);
    EXPECT_EQ(TAM_RPD_SetRtCount(&none, counters, 2, 1, 1), TAM_RPD_ERR_PARA);
    EXPECT_EQ(TAM_RPD_SetRtCount(nullptr, counters, 2, 1, 1), TAM_RPD_ERR_PARA);
    EXPECT_EQ(counters[0], 0u);
    EXPECT_EQ(counters[1], 2u);

    uint32_t count = 55;
    EXPECT_EQ(TAM_RPD_GetRtCount(counters, 2, 0, &count), TAM_RPD_OK);
    EXPECT_EQ(count, 55u);
    EXPECT_EQ(TAM_RPD_GetRtCount(counters, 1, 1, &count), TAM_RPD_ERR_PARA);
    EXPECT_EQ(TAM_RPD_GetRtCount(counters, 2, 0xFFFFFFFF, &count), TAM_RPD_ERR_PARA);
    EXPECT_EQ(TAM_RPD_GetRtCount(counters, 2, 1, &count), TAM_RPD_OK);
    EXPECT_EQ(count, 2u);
    EXPECT_EQ(TAMHOST_AssertCount(), 0u);
}
