/*
 * Services the plug-in imports by name from the host's platform libraries.
 * The plug-in never links against an implementation: the host process
 * provides these symbols when it loads libtam_rpd.so.
 */
#ifndef TAM_RPD_HOST_SERVICES_H
#define TAM_RPD_HOST_SERVICES_H

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
