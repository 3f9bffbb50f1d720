/*
 * The services a host process must provide to libtam_rpd.so. The plug-in
 * imports them by name and never links against an implementation: the host
 * defines these symbols (in its executable or a library it has loaded with
 * global binding) before it loads the plug-in, or dlopen with RTLD_NOW
 * fails on the first one missing. Every declaration here is needed.
 *
 *   QOR_Assert            records a failed argument check (file "tam_rpd",
 *                         line, 0); must return, the plug-in then reports
 *                         TAM_RPD_ERR_PARA.
 *   QOR_SimpleAlloc_F     allocates ulSize bytes charged to ulModuleId, or
 *                         returns NULL; QOR_Free_F releases such a block.
 *   QOR_Local_SystimeGet  the local time, for the debug log.
 *   PEX_Printf            console output (not called on any decode path).
 *   PEX_MemCmp, PEX_StrLen  as memcmp and strlen.
 *   PEX_IpAddrToStr       dotted-quad text of a host-order IPv4 address
 *                         into a buffer of at least 16 bytes; returns it.
 *   DLL_Insert_In_Middle, DLL_Delete
 *                         the host's doubly linked list: link a node
 *                         between two others and count it; unlink it.
 *   memcpy_s, memset_s    bounded copies: 0 on success, nonzero (and no
 *                         write past destMax) when count exceeds destMax.
 *   snprintf_s, vsnprintf_s
 *                         bounded formatting: with count below destMax,
 *                         at most count characters and a NUL, -1 when the
 *                         text was cut; with count at least destMax, the
 *                         whole text or, when it does not fit, an empty
 *                         string and -1.
 */
#ifndef TAM_RPD_HOST_H
#define TAM_RPD_HOST_H

#include <stdarg.h>
#include <stddef.h>
#include <stdint.h>

#include "tam_rpd.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Local time as the host clock fills it: hour, minute, second in bytes 4..6,
 * milliseconds at byte 8. */
typedef struct QOR_SYSTIME {
    uint16_t usYear;
    uint8_t ucMonth;
    uint8_t ucDay;
    uint8_t ucHour;
    uint8_t ucMinute;
    uint8_t ucSecond;
    uint8_t ucWeek;
    uint32_t ulMillisecond;
} QOR_SYSTIME;

void QOR_Assert(const char *pcFile, uint32_t ulLine, uint32_t ulZero);
void *QOR_SimpleAlloc_F(uint64_t ulModuleId, uint32_t ulSize, const char *pcFile, uint32_t ulLine);
void QOR_Free_F(void *p, const char *pcFile, uint32_t ulLine);
uint32_t QOR_Local_SystimeGet(QOR_SYSTIME *pstTime, uint32_t *pulMode);

void PEX_Printf(const char *pcFormat, ...) __attribute__((format(printf, 1, 2)));
int32_t PEX_MemCmp(const void *pFirst, const void *pSecond, uint32_t ulCount);
uint32_t PEX_StrLen(const char *pcText);
char *PEX_IpAddrToStr(uint32_t ulAddr, char *pcBuf);

uint32_t DLL_Insert_In_Middle(TAM_RPD_DLL_LIST *pstList, TAM_RPD_DLL_NODE *pstPrev, TAM_RPD_DLL_NODE *pstNode,
                              TAM_RPD_DLL_NODE *pstNext);
void DLL_Delete(TAM_RPD_DLL_LIST *pstList, TAM_RPD_DLL_NODE *pstNode);

int memcpy_s(void *pDest, size_t destMax, const void *pSrc, size_t count);
int memset_s(void *pDest, size_t destMax, int c, size_t count);
int snprintf_s(char *pcDest, size_t destMax, size_t count, const char *pcFormat, ...)
    __attribute__((format(printf, 4, 5)));
int vsnprintf_s(char *pcDest, size_t destMax, size_t count, const char *pcFormat, va_list args)
    __attribute__((format(printf, 4, 0)));

#ifdef __cplusplus
}
#endif

#endif
