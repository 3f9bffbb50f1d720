/*
 * Stand-in host platform: the services a host process gives the plug-in,
 * plus controls that tests and tools use to observe and steer them.
 * Not linked into the plug-in; a real host supplies its own services.
 */
#ifndef TAM_HOST_H
#define TAM_HOST_H

#include <stddef.h>
#include <stdint.h>

#include "tam_rpd_host.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Allocation accounting for one module identifier. */
uint64_t TAMHOST_LiveBlocks(uint64_t ulModuleId);
uint64_t TAMHOST_LiveBytes(uint64_t ulModuleId);
/* Allocations made since the last TAMHOST_Reset (all modules). */
uint64_t TAMHOST_AllocCount(void);
/* Make the n-th allocation from now fail (1 = the next one); 0 disables. */
void TAMHOST_FailNthAlloc(uint64_t n);
/* Make every allocation from now fail until TAMHOST_FailNthAlloc(0) or reset. */
void TAMHOST_FailAllAllocs(int on);

/* Records the sizes of the next allocations (at most max) into sizes; null stops. */
void TAMHOST_TraceAllocs(uint32_t *sizes, size_t max);
/* Allocations recorded since tracing started. */
size_t TAMHOST_TracedAllocs(void);

/* Assertion record. */
uint64_t TAMHOST_AssertCount(void);
const char *TAMHOST_LastAssertFile(void);
uint32_t TAMHOST_LastAssertLine(void);

/* Clock: when set, QOR_Local_SystimeGet reports this time instead of the real one. */
void TAMHOST_SetClock(uint8_t ucHour, uint8_t ucMinute, uint8_t ucSecond, uint32_t ulMillisecond);
/* Console: when a buffer is given, PEX_Printf appends there (terminated, cut at the size) instead of stdout. */
void TAMHOST_CaptureConsole(char *pcBuf, size_t size);

/* Forget counters, assertions, failure plans, clock and console capture; live blocks stay counted. */
void TAMHOST_Reset(void);

#ifdef __cplusplus
}
#endif

#endif
