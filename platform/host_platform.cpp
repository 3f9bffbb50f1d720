// Stand-in implementations of the host platform services.
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>
#include <sys/time.h>

#include "tam_host.h"

namespace {

struct ModuleStats {
    uint64_t moduleId;
    uint64_t blocks;
    uint64_t bytes;
};

// Each block carries its owner's counters and its size ahead of the caller's
// bytes, so that a free is charged back without a lookup. While a block waits
// in a free list, the first word links it to the next.
struct alignas(16) BlockHeader {
    ModuleStats *stats;  // null when the block is charged to no module
    uint64_t size;
};

// Checked builds (every build type but Release and MinSizeRel, and the
// sanitizer and fuzz builds) hand out fresh malloc blocks filled with a
// pattern, so that missing zeroing shows and a sanitizer sees every use after
// free. Release builds, where rpd-host is the host, keep freed blocks of up
// to 1 KiB in free lists by size class (16-byte steps) and do not fill: the
// plug-in allocates and frees the same few sizes for every route.
#ifdef TAM_HOST_CHECKED
constexpr bool kChecked = true;
#else
constexpr bool kChecked = false;
#endif
constexpr size_t kClassStep = 16, kLargestClassed = 1024;
constexpr size_t kMaxFreePerClass = 4096;
struct FreeList {
    BlockHeader *head = nullptr;  // linked through the header's first word
    size_t count = 0;
};
FreeList g_free[kLargestClassed / kClassStep + 1];

size_t ClassOf(uint64_t size) { return (size + kClassStep - 1) / kClassStep; }

BlockHeader *TakeBlock(uint32_t size) {
    const bool listed = !kChecked && size <= kLargestClassed;
    const size_t room = listed ? ClassOf(size) * kClassStep : size;
    if (listed) {
        FreeList &list = g_free[ClassOf(size)];
        if (BlockHeader *hdr = list.head) {
            list.head = reinterpret_cast<BlockHeader *>(hdr->stats);
            --list.count;
            return hdr;
        }
    }
    return static_cast<BlockHeader *>(malloc(sizeof(BlockHeader) + (room == 0 ? 1 : room)));
}

void GiveBlock(BlockHeader *hdr) {
    FreeList *list = !kChecked && hdr->size <= kLargestClassed ? &g_free[ClassOf(hdr->size)] : nullptr;
    if (list == nullptr || list->count >= kMaxFreePerClass) return free(hdr);
    hdr->stats = reinterpret_cast<ModuleStats *>(list->head);
    list->head = hdr;
    ++list->count;
}

constexpr size_t kMaxModules = 64;
ModuleStats g_modules[kMaxModules];
uint64_t g_allocCount = 0;
uint64_t g_failCountdown = 0;
bool g_failAll = false;
bool g_hooked = false;  // a test hook is set (a trace, a failure to come): allocations look at them
uint64_t g_assertCount = 0;
const char *g_lastAssertFile = "";
uint32_t g_lastAssertLine = 0;
bool g_clockSet = false;
QOR_SYSTIME g_clock;
char *g_console = nullptr;
uint32_t *g_trace = nullptr;
size_t g_traceMax = 0;
size_t g_traced = 0;
size_t g_consoleSize = 0;

void Rehook() { g_hooked = g_trace != nullptr || g_failAll || g_failCountdown != 0; }

// The test hooks' part of an allocation: true when it is to fail.
[[gnu::noinline]] bool HookedAllocFails(uint32_t size) {
    if (g_trace != nullptr && g_traced < g_traceMax) g_trace[g_traced++] = size;
    if (g_failAll) return true;
    if (g_failCountdown != 0 && --g_failCountdown == 0) {
        Rehook();
        return true;
    }
    return false;
}

ModuleStats *g_lastStats = nullptr;  // a host charges one module nearly always

ModuleStats *Stats(uint64_t moduleId, bool create) {
    if (g_lastStats != nullptr && moduleId != 0 && g_lastStats->moduleId == moduleId) return g_lastStats;
    for (auto &m : g_modules) {
        if (moduleId != 0 && m.moduleId == moduleId) return g_lastStats = &m;
    }
    if (!create || moduleId == 0) return nullptr;
    for (auto &m : g_modules) {
        if (m.moduleId == 0) {
            m.moduleId = moduleId;
            return g_lastStats = &m;
        }
    }
    return nullptr;
}

// The decimal digits of `v`, written back from `end` two at a time; returns how many.
size_t DecimalBefore(char *end, unsigned v) {
    static constexpr auto kPairs = [] {
        struct {
            char at[200];
        } t{};
        for (unsigned i = 0; i < 100; ++i) {
            t.at[2 * i] = static_cast<char>('0' + i / 10);
            t.at[2 * i + 1] = static_cast<char>('0' + i % 10);
        }
        return t;
    }();
    char *p = end;
    for (; v >= 100; v /= 100) {
        p -= 2;
        memcpy(p, kPairs.at + 2 * (v % 100), 2);
    }
    if (v >= 10) {
        p -= 2;
        memcpy(p, kPairs.at + 2 * v, 2);
    } else {
        *--p = static_cast<char>('0' + v);
    }
    return static_cast<size_t>(end - p);
}

// The conversions the plug-in's texts use (%s %u %x %c %%, and %u / %x with
// a width and zero padding, as in %02x) are formatted here directly, straight
// into the destination and with runs of literal text copied whole: the same
// characters as vsnprintf without its general machinery, which dominated the
// cost of rendering. Writes at most `cap` characters to `out` and returns the
// full length, which may exceed `cap`; SIZE_MAX when the format needs more
// than these (the caller then falls back to vsnprintf).
size_t SimpleFormat(char *out, size_t cap, const char *fmt, va_list args) {
    size_t n = 0;
    auto put = [&](const char *s, size_t len) {
        const size_t fit = n < cap ? (len < cap - n ? len : cap - n) : 0;
        char *d = out + n;
        if (fit > 16) {
            memcpy(d, s, fit);
        } else if (fit >= 8) {  // two copies of 8 that may overlap, as for 4 and below
            uint64_t head, tail;
            memcpy(&head, s, 8);
            memcpy(&tail, s + fit - 8, 8);
            memcpy(d, &head, 8);
            memcpy(d + fit - 8, &tail, 8);
        } else if (fit >= 4) {
            uint32_t head, tail;
            memcpy(&head, s, 4);
            memcpy(&tail, s + fit - 4, 4);
            memcpy(d, &head, 4);
            memcpy(d + fit - 4, &tail, 4);
        } else if (fit != 0) {
            d[0] = s[0];
            d[fit / 2] = s[fit / 2];
            d[fit - 1] = s[fit - 1];
        }
        n += len;
    };
    for (const char *p = fmt; *p != '\0';) {
        const char *literal = p;
        if (*p != '%') p = strchrnul(p, '%');
        if (p != literal) put(literal, static_cast<size_t>(p - literal));
        if (*p == '\0') break;
        ++p;
        const bool zero = *p == '0';
        if (zero) ++p;
        size_t width = 0;
        while (*p >= '0' && *p <= '9') width = width * 10 + static_cast<size_t>(*p++ - '0');
        const char conv = *p++;
        if ((width != 0 || zero) && conv != 'u' && conv != 'x') return SIZE_MAX;
        switch (conv) {
            case 's': {
                const char *t = va_arg(args, const char *);
                put(t, strlen(t));
                break;
            }
            case 'c': {
                const char c = static_cast<char>(va_arg(args, int));
                put(&c, 1);
                break;
            }
            case 'u':
            case 'x': {
                unsigned v = va_arg(args, unsigned);
                char digits[24];
                size_t k = sizeof(digits);
                // Each base in a loop of its own: a constant divisor is a multiply, a variable one a divide.
                if (conv == 'x') {
                    do {
                        digits[--k] = "0123456789abcdef"[v & 15];
                        v >>= 4;
                    } while (v != 0);
                } else {
                    k -= DecimalBefore(digits + k, v);
                }
                if (width > 16) return SIZE_MAX;
                while (sizeof(digits) - k < width) digits[--k] = zero ? '0' : ' ';
                put(digits + k, sizeof(digits) - k);
                break;
            }
            case '%': put("%", 1); break;
            default: return SIZE_MAX;
        }
    }
    return n;
}

// Bounded formatting with the host's contract: `count` below `destMax` cuts
// and reports a negative result; `count` of at least `destMax` refuses to cut.
// The most characters a text may have written of it.
size_t FormatLimit(size_t destMax, size_t count) { return count < destMax ? count : destMax - 1; }

// The end of a text of `need` characters whose first `limit` at most are
// written: its NUL, or an empty string when cutting is refused; the result.
int EndFormat(char *dest, size_t destMax, size_t count, size_t need, size_t limit) {
    if (need > limit && count >= destMax) {  // cutting refused
        dest[0] = '\0';
        return -1;
    }
    dest[need < limit ? need : limit] = '\0';
    return need > limit ? -1 : static_cast<int>(need);
}

// The direct formatter first; false when the format needs vsnprintf, and then
// `args` is spent. It takes the arguments as they are, not a va_copy of them:
// copying a va_list just made stalls on the stores that made it.
bool DirectFormat(char *dest, size_t destMax, size_t count, const char *fmt, va_list args, int &result) {
    const size_t limit = FormatLimit(destMax, count);
    const size_t need = SimpleFormat(dest, limit, fmt, args);
    if (need == SIZE_MAX) return false;
    result = EndFormat(dest, destMax, count, need, limit);
    return true;
}

int FallbackFormat(char *dest, size_t destMax, size_t count, const char *fmt, va_list args) {
    if (count < destMax) {
        // Cutting allowed: one pass, at most `count` characters and the NUL.
        const int need = vsnprintf(dest, count + 1, fmt, args);
        if (need < 0) {
            dest[0] = '\0';
            return -1;
        }
        return static_cast<size_t>(need) > count ? -1 : need;
    }
    // Cutting refused: measure first so that a text too long leaves only an empty string.
    va_list copy;
    va_copy(copy, args);
    const int need = vsnprintf(nullptr, 0, fmt, copy);
    va_end(copy);
    if (need < 0 || static_cast<size_t>(need) >= destMax) {
        dest[0] = '\0';
        return -1;
    }
    vsnprintf(dest, destMax, fmt, args);
    return need;
}

bool FormatArgsValid(const char *dest, size_t destMax, const char *fmt) {
    return dest != nullptr && destMax != 0 && fmt != nullptr;
}

}  // namespace

extern "C" {

void QOR_Assert(const char *pcFile, uint32_t ulLine, uint32_t ulZero) {
    (void)ulZero;
    ++g_assertCount;
    g_lastAssertFile = pcFile != nullptr ? pcFile : "";
    g_lastAssertLine = ulLine;
}

void *QOR_SimpleAlloc_F(uint64_t ulModuleId, uint32_t ulSize, const char *pcFile, uint32_t ulLine) {
    (void)pcFile;
    (void)ulLine;
    ++g_allocCount;
    if (g_hooked && HookedAllocFails(ulSize)) return nullptr;
    ModuleStats *stats = Stats(ulModuleId, true);
    BlockHeader *hdr = TakeBlock(ulSize);
    if (hdr == nullptr) return nullptr;
    hdr->stats = stats;
    hdr->size = ulSize;
    if (stats != nullptr) {
        ++stats->blocks;
        stats->bytes += ulSize;
    }
    // Host memory is not cleared: fill it with a pattern so missing zeroing shows.
    if (kChecked) memset(hdr + 1, 0xA5, ulSize);
    return hdr + 1;
}

void QOR_Free_F(void *p, const char *pcFile, uint32_t ulLine) {
    (void)pcFile;
    (void)ulLine;
    if (p == nullptr) return;
    BlockHeader *hdr = static_cast<BlockHeader *>(p) - 1;
    if (ModuleStats *stats = hdr->stats) {
        --stats->blocks;
        stats->bytes -= hdr->size;
    }
    GiveBlock(hdr);
}

uint32_t QOR_Local_SystimeGet(QOR_SYSTIME *pstTime, uint32_t *pulMode) {
    (void)pulMode;
    if (pstTime == nullptr) return 1;
    if (g_clockSet) {
        *pstTime = g_clock;
        return 0;
    }
    struct timeval tv;
    gettimeofday(&tv, nullptr);
    struct tm tmv;
    localtime_r(&tv.tv_sec, &tmv);
    pstTime->usYear = static_cast<uint16_t>(tmv.tm_year + 1900);
    pstTime->ucMonth = static_cast<uint8_t>(tmv.tm_mon + 1);
    pstTime->ucDay = static_cast<uint8_t>(tmv.tm_mday);
    pstTime->ucHour = static_cast<uint8_t>(tmv.tm_hour);
    pstTime->ucMinute = static_cast<uint8_t>(tmv.tm_min);
    pstTime->ucSecond = static_cast<uint8_t>(tmv.tm_sec);
    pstTime->ucWeek = static_cast<uint8_t>(tmv.tm_wday);
    pstTime->ulMillisecond = static_cast<uint32_t>(tv.tv_usec / 1000);
    return 0;
}

void PEX_Printf(const char *pcFormat, ...) {
    va_list args;
    va_start(args, pcFormat);
    if (g_console != nullptr) {
        size_t used = strlen(g_console);
        if (used + 1 < g_consoleSize) vsnprintf(g_console + used, g_consoleSize - used, pcFormat, args);
    } else {
        vprintf(pcFormat, args);
    }
    va_end(args);
}

int32_t PEX_MemCmp(const void *pFirst, const void *pSecond, uint32_t ulCount) {
    return memcmp(pFirst, pSecond, ulCount);
}

uint32_t PEX_StrLen(const char *pcText) { return pcText == nullptr ? 0 : static_cast<uint32_t>(strlen(pcText)); }

char *PEX_IpAddrToStr(uint32_t ulAddr, char *pcBuf) {
    if (pcBuf == nullptr) return nullptr;
    // Dotted quad from a table of the 256 octet texts: it sits on every prefix entry's text.
    struct OctetText {
        char text[4];  // digits, then the dot that may follow them
        uint8_t len;
    };
    static constexpr auto kOctets = [] {
        struct {
            OctetText at[256];
        } t{};
        for (unsigned v = 0; v < 256; ++v) {
            OctetText &o = t.at[v];
            if (v >= 100) o.text[o.len++] = static_cast<char>('0' + v / 100);
            if (v >= 10) o.text[o.len++] = static_cast<char>('0' + v / 10 % 10);
            o.text[o.len++] = static_cast<char>('0' + v % 10);
            o.text[o.len] = '.';
        }
        return t;
    }();
    char *p = pcBuf;
    for (int shift = 24; shift >= 0; shift -= 8) {
        const OctetText &o = kOctets.at[(ulAddr >> shift) & 0xFF];
        memcpy(p, o.text, 4);  // the dot comes along; the next octet or the NUL overwrites it
        p += o.len + 1;
    }
    p[-1] = '\0';
    return pcBuf;
}

uint32_t DLL_Insert_In_Middle(TAM_RPD_DLL_LIST *pstList, TAM_RPD_DLL_NODE *pstPrev, TAM_RPD_DLL_NODE *pstNode,
                              TAM_RPD_DLL_NODE *pstNext) {
    if (pstList == nullptr || pstPrev == nullptr || pstNode == nullptr || pstNext == nullptr) return 1;
    pstNode->pPrev = pstPrev;
    pstNode->pNext = pstNext;
    pstPrev->pNext = pstNode;
    pstNext->pPrev = pstNode;
    ++pstList->ulCount;
    return 0;
}

void DLL_Delete(TAM_RPD_DLL_LIST *pstList, TAM_RPD_DLL_NODE *pstNode) {
    if (pstList == nullptr || pstNode == nullptr) return;
    if (pstNode->pPrev != nullptr) pstNode->pPrev->pNext = pstNode->pNext;
    if (pstNode->pNext != nullptr) pstNode->pNext->pPrev = pstNode->pPrev;
    pstNode->pNext = nullptr;
    pstNode->pPrev = nullptr;
    --pstList->ulCount;
}

int memcpy_s(void *pDest, size_t destMax, const void *pSrc, size_t count) {
    if (pDest == nullptr || pSrc == nullptr || count > destMax) return 1;
    memmove(pDest, pSrc, count);
    return 0;
}

int memset_s(void *pDest, size_t destMax, int c, size_t count) {
    if (pDest == nullptr || count > destMax) return 1;
    memset(pDest, c, count);
    return 0;
}

int snprintf_s(char *pcDest, size_t destMax, size_t count, const char *pcFormat, ...) {
    if (!FormatArgsValid(pcDest, destMax, pcFormat)) return -1;
    int r = -1;
    va_list args;
    va_start(args, pcFormat);
    // One character at a time is how texts are copied: that call goes straight through.
    if (pcFormat[0] == '%' && pcFormat[1] == 'c' && pcFormat[2] == '\0') {
        const char c = static_cast<char>(va_arg(args, int));
        va_end(args);
        const size_t limit = FormatLimit(destMax, count);
        if (limit != 0) pcDest[0] = c;
        return EndFormat(pcDest, destMax, count, 1, limit);
    }
    const bool done = DirectFormat(pcDest, destMax, count, pcFormat, args, r);
    va_end(args);
    if (!done) {  // the arguments again, from the start
        va_start(args, pcFormat);
        r = FallbackFormat(pcDest, destMax, count, pcFormat, args);
        va_end(args);
    }
    return r;
}

int vsnprintf_s(char *pcDest, size_t destMax, size_t count, const char *pcFormat, va_list args) {
    if (!FormatArgsValid(pcDest, destMax, pcFormat)) return -1;
    int r = -1;
    va_list copy;
    va_copy(copy, args);
    const bool done = DirectFormat(pcDest, destMax, count, pcFormat, copy, r);
    va_end(copy);
    return done ? r : FallbackFormat(pcDest, destMax, count, pcFormat, args);
}

// ------------------------------------------------------------ controls

uint64_t TAMHOST_LiveBlocks(uint64_t ulModuleId) {
    ModuleStats *s = Stats(ulModuleId, false);
    return s != nullptr ? s->blocks : 0;
}

uint64_t TAMHOST_LiveBytes(uint64_t ulModuleId) {
    ModuleStats *s = Stats(ulModuleId, false);
    return s != nullptr ? s->bytes : 0;
}

uint64_t TAMHOST_AllocCount(void) { return g_allocCount; }

void TAMHOST_FailNthAlloc(uint64_t n) {
    g_failCountdown = n;
    if (n == 0) g_failAll = false;
    Rehook();
}

void TAMHOST_FailAllAllocs(int on) {
    g_failAll = on != 0;
    Rehook();
}

void TAMHOST_TraceAllocs(uint32_t *sizes, size_t max) {
    g_trace = sizes;
    g_traceMax = sizes == nullptr ? 0 : max;
    g_traced = 0;
    Rehook();
}

size_t TAMHOST_TracedAllocs(void) { return g_traced; }

uint64_t TAMHOST_AssertCount(void) { return g_assertCount; }
const char *TAMHOST_LastAssertFile(void) { return g_lastAssertFile; }
uint32_t TAMHOST_LastAssertLine(void) { return g_lastAssertLine; }

void TAMHOST_SetClock(uint8_t ucHour, uint8_t ucMinute, uint8_t ucSecond, uint32_t ulMillisecond) {
    memset(&g_clock, 0, sizeof(g_clock));
    g_clock.ucHour = ucHour;
    g_clock.ucMinute = ucMinute;
    g_clock.ucSecond = ucSecond;
    g_clock.ulMillisecond = ulMillisecond;
    g_clockSet = true;
}

void TAMHOST_CaptureConsole(char *pcBuf, size_t size) {
    g_console = (pcBuf != nullptr && size != 0) ? pcBuf : nullptr;
    g_consoleSize = size;
    if (g_console != nullptr) g_console[0] = '\0';
}

void TAMHOST_Reset(void) {
    g_allocCount = 0;
    g_failCountdown = 0;
    g_failAll = false;
    Rehook();
    g_assertCount = 0;
    g_lastAssertFile = "";
    g_lastAssertLine = 0;
    g_clockSet = false;
    g_console = nullptr;
    g_consoleSize = 0;
}

}  // extern "C"
