/*
 * An example host, as an integrator writes one from the installed headers: it
 * provides the services of tam_rpd_host.h, loads the installed plug-in with
 * dlopen, walks one BGP UPDATE (raw bytes from a file) the way a BGP process
 * does, prints each RPD route's key text and its policy's first line, and
 * releases everything.
 *
 *   rpd_consumer [PLUGIN] UPDATE.raw
 */
#include <dlfcn.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "tam_rpd.h"
#include "tam_rpd_host.h"

#ifndef TAM_RPD_PLUGIN
#define TAM_RPD_PLUGIN "libtam_rpd.so.0"
#endif

/* ------------------------------------------------------------ host services */

static unsigned g_asserts;
static long g_live;

void QOR_Assert(const char *pcFile, uint32_t ulLine, uint32_t ulZero) {
    (void)ulZero;
    fprintf(stderr, "assertion in %s at line %u\n", pcFile, ulLine);
    ++g_asserts;
}
void *QOR_SimpleAlloc_F(uint64_t ulModuleId, uint32_t ulSize, const char *pcFile, uint32_t ulLine) {
    (void)ulModuleId, (void)pcFile, (void)ulLine;
    void *p = malloc(ulSize);
    if (p != NULL) ++g_live;
    return p;
}
void QOR_Free_F(void *p, const char *pcFile, uint32_t ulLine) {
    (void)pcFile, (void)ulLine;
    if (p != NULL) --g_live;
    free(p);
}
uint32_t QOR_Local_SystimeGet(QOR_SYSTIME *pstTime, uint32_t *pulMode) {
    (void)pulMode;
    memset(pstTime, 0, sizeof(*pstTime));
    return 0;
}
void PEX_Printf(const char *pcFormat, ...) {
    va_list a;
    va_start(a, pcFormat);
    vprintf(pcFormat, a);
    va_end(a);
}
int32_t PEX_MemCmp(const void *pFirst, const void *pSecond, uint32_t ulCount) {
    return memcmp(pFirst, pSecond, ulCount);
}
uint32_t PEX_StrLen(const char *pcText) { return (uint32_t)strlen(pcText); }
char *PEX_IpAddrToStr(uint32_t ulAddr, char *pcBuf) {
    snprintf(pcBuf, 16, "%u.%u.%u.%u", ulAddr >> 24, ulAddr >> 16 & 255, ulAddr >> 8 & 255, ulAddr & 255);
    return pcBuf;
}
uint32_t DLL_Insert_In_Middle(TAM_RPD_DLL_LIST *pstList, TAM_RPD_DLL_NODE *pstPrev, TAM_RPD_DLL_NODE *pstNode,
                              TAM_RPD_DLL_NODE *pstNext) {
    pstNode->pPrev = pstPrev;
    pstNode->pNext = pstNext;
    pstPrev->pNext = pstNode;
    pstNext->pPrev = pstNode;
    ++pstList->ulCount;
    return 0;
}
void DLL_Delete(TAM_RPD_DLL_LIST *pstList, TAM_RPD_DLL_NODE *pstNode) {
    pstNode->pPrev->pNext = pstNode->pNext;
    pstNode->pNext->pPrev = pstNode->pPrev;
    --pstList->ulCount;
}
int memcpy_s(void *pDest, size_t destMax, const void *pSrc, size_t count) {
    if (pDest == NULL || pSrc == NULL || count > destMax) return 1;
    memmove(pDest, pSrc, count);
    return 0;
}
int memset_s(void *pDest, size_t destMax, int c, size_t count) {
    if (pDest == NULL || count > destMax) return 1;
    memset(pDest, c, count);
    return 0;
}
/* With count below destMax: at most count characters, -1 when cut. With
 * count at least destMax: the whole text, or an empty string and -1. */
int vsnprintf_s(char *pcDest, size_t destMax, size_t count, const char *pcFormat, va_list args) {
    if (pcDest == NULL || destMax == 0 || pcFormat == NULL) return -1;
    const int cut = count < destMax;
    const size_t limit = cut ? count : destMax - 1;
    const int n = vsnprintf(pcDest, limit + 1, pcFormat, args);
    if (n < 0 || (size_t)n > limit) {
        if (!cut) pcDest[0] = '\0';
        return -1;
    }
    return n;
}
int snprintf_s(char *pcDest, size_t destMax, size_t count, const char *pcFormat, ...) {
    va_list a;
    va_start(a, pcFormat);
    const int n = vsnprintf_s(pcDest, destMax, count, pcFormat, a);
    va_end(a);
    return n;
}

/* ------------------------------------------------------------ the host */

typedef struct Plugin {
    void *dl;
    TAM_RPD_PLUGIN_OPS ops;
    TAM_RPD_INSTANCE *inst;
} Plugin;

static int Load(Plugin *p, const char *path) {
    memset(p, 0, sizeof(*p));
    p->dl = dlopen(path, RTLD_NOW | RTLD_LOCAL);
    if (p->dl == NULL) {
        fprintf(stderr, "%s\n", dlerror());
        return 0;
    }
    TAM_RPD_INSTANCE *(*construct)(TAM_RPD_PLUGIN_OPS *, uint64_t);
    *(void **)&construct = dlsym(p->dl, "TAM_RPD_Construct");
    p->inst = construct != NULL ? construct(&p->ops, 0x4C) : NULL;
    return p->inst != NULL;
}

static void Unload(Plugin *p) {
    void (*destruct)(TAM_RPD_INSTANCE *);
    *(void **)&destruct = dlsym(p->dl, "TAM_RPD_Destruct");
    if (p->inst != NULL && destruct != NULL) destruct(p->inst);
    dlclose(p->dl);
}

static TAM_RPD_ROUTE_VIEW View(const TAM_RPD_OUTPUT_BUF *key, const TAM_RPD_OUTPUT_BUF *attr) {
    TAM_RPD_ROUTE_VIEW v;
    memset(&v, 0, sizeof(v));
    v.ulKeyLen = key->usKeyLen;
    v.pucKey = (uint8_t *)key + key->usKeyOffset;
    if (attr != NULL) {
        v.ulAttrLen = attr->usAttrLen;
        v.pucAttr = (uint8_t *)attr + attr->usAttrOffset;
    }
    return v;
}

/* Prints a text callback's output up to its first line feed or NUL. */
static void PrintText(const Plugin *p, const TAM_RPD_ROUTE_VIEW *v, uint32_t type, const char *label) {
    char text[2048];
    uint32_t c1 = 0, c2 = 0;
    memset(text, 0, sizeof(text));
    const uint32_t st = p->ops.pfnData2Str(v, type, text, sizeof(text) - 1, &c1, &c2, p->inst);
    text[strcspn(text, "\n")] = '\0';
    printf("  %s: %s\n", label, st == TAM_RPD_OK ? text : TAM_RPD_StatusName(st));
}

/* Walks the path attributes of one UPDATE: the policy first, then each NLRI. */
static int Walk(const Plugin *p, const uint8_t *m, size_t n) {
    if (n < 23 || m[18] != 2) return -1;
    size_t at = 19;
    const size_t withdrawn = (size_t)m[at] << 8 | m[at + 1];
    at += 2 + withdrawn;
    if (at + 2 > n) return -1;
    const size_t attrsLen = (size_t)m[at] << 8 | m[at + 1];
    at += 2;
    if (at + attrsLen > n) return -1;
    const size_t end = at + attrsLen;
    const uint8_t *reach = NULL, *policy = NULL;
    size_t reachLen = 0, policyLen = 0;
    while (at + 3 <= end) {
        const uint8_t flags = m[at], code = m[at + 1];
        const size_t hdr = (flags & 0x10) ? 4 : 3;
        if (at + hdr > end) return -1;
        const size_t len = (flags & 0x10) ? ((size_t)m[at + 2] << 8 | m[at + 3]) : m[at + 2];
        if (at + hdr + len > end) return -1;
        if (code == 14) reach = m + at + hdr, reachLen = len;
        if (code == 129) policy = m + at + hdr, policyLen = len;
        at += hdr + len;
    }
    TAM_RPD_OUTPUT_BUF *attr = NULL;
    uint32_t more = 0;
    if (policy != NULL) {
        const uint8_t *cur = policy;
        const uint32_t st = p->ops.pfnParsePkt(&cur, (uint32_t)policyLen, p->ops.aulPktType[2], &attr, &more, p->inst);
        if (st != TAM_RPD_OK) printf("policy refused: %s\n", TAM_RPD_StatusName(st));
    }
    int routes = 0;
    /* MP_REACH_NLRI: AFI 1, SAFI 75, next hop, a reserved octet, then the NLRIs. */
    if (reach != NULL && reachLen >= 5 && reach[0] == 0 && reach[1] == 1 && reach[2] == 75) {
        const size_t off = 5 + (size_t)reach[3];
        if (off < reachLen) {
            const uint8_t *cur = reach + off;
            uint32_t left = (uint32_t)(reachLen - off);
            more = left != 0;
            while (more != 0) {
                const uint8_t *start = cur;
                TAM_RPD_OUTPUT_BUF *key = NULL;
                const uint32_t st = p->ops.pfnParsePkt(&cur, left, p->ops.aulPktType[0], &key, &more, p->inst);
                if (st != TAM_RPD_OK) {
                    printf("NLRI refused: %s\n", TAM_RPD_StatusName(st));
                    break;
                }
                left -= (uint32_t)(cur - start);
                const TAM_RPD_ROUTE_VIEW v = View(key, attr);
                printf("route %d\n", ++routes);
                PrintText(p, &v, TAM_RPD_STR_NLRI, "key");
                if (attr != NULL) PrintText(p, &v, TAM_RPD_STR_WIDE_CMTY, "policy");
                QOR_Free_F(key, "host", 0);
            }
        }
    }
    if (attr != NULL) QOR_Free_F(attr, "host", 0);
    return routes;
}

int main(int argc, char **argv) {
    if (argc < 2) {
        fprintf(stderr, "usage: rpd_consumer [PLUGIN] UPDATE.raw\n");
        return 2;
    }
    const char *plugin = argc > 2 ? argv[1] : TAM_RPD_PLUGIN;
    FILE *f = fopen(argv[argc - 1], "rb");
    if (f == NULL) {
        perror(argv[argc - 1]);
        return 2;
    }
    uint8_t msg[4096];
    const size_t n = fread(msg, 1, sizeof(msg), f);
    fclose(f);

    printf("plug-in %s, headers %s\n", plugin, TAM_RPD_VERSION_STRING);
    Plugin p;
    if (!Load(&p, plugin)) return 2;
    const int routes = Walk(&p, msg, n);
    Unload(&p);
    printf("routes %d, assertions %u, blocks left %ld\n", routes, g_asserts, g_live);
    return routes > 0 && g_asserts == 0 && g_live == 0 ? 0 : 1;
}
