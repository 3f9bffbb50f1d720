// Scratch memory lent from the instance, and the debug log utility.
#include <stdio.h>

#include "internal.h"

namespace {

constexpr const char kLogPath[] = "/opt/KOV_TIR/1/qorv8/var/log/TAMRPD_LOGINFO.log";
constexpr uint32_t kLogLineLen = 1000;

}  // namespace

extern "C" {

void *TAM_RPD_Malloc(TAM_RPD_INSTANCE *pstInst, uint32_t ulSize) {
    TAM_REQUIRE(pstInst != nullptr, nullptr);
    if (ulSize == 0) {
        return nullptr;
    }
    if (ulSize <= TAM_RPD_SCRATCH_LEN && pstInst->ulScratchInUse == 0) {
        pstInst->ulScratchInUse = 1;
        return pstInst->aucScratch;
    }
    return TAM_HOST_ALLOC(pstInst->ulModuleId, ulSize);
}

void TAM_RPD_Free(void **ppHolder, TAM_RPD_INSTANCE *pstInst) {
    TAM_REQUIRE(ppHolder != nullptr, );
    TAM_REQUIRE(*ppHolder != nullptr, );
    TAM_REQUIRE(pstInst != nullptr, );
    if (*ppHolder == static_cast<void *>(pstInst->aucScratch)) {
        pstInst->ulScratchInUse = 0;
    } else {
        TAM_HOST_FREE(*ppHolder);
    }
    *ppHolder = nullptr;
}

void TAM_RPD_Print_LogInfo(uint32_t ulArg1, uint32_t ulArg2, uint32_t ulNumber, const char *pcFormat, ...) {
    (void)ulArg1;
    (void)ulArg2;
    char line[kLogLineLen];
    (void)memset_s(line, sizeof(line), 0, sizeof(line));

    QOR_SYSTIME now;
    tam::Zero(now);
    uint32_t mode = 1;
    (void)QOR_Local_SystimeGet(&now, &mode);
    (void)snprintf_s(line, sizeof(line), sizeof(line) - 1, "\r\n[TAM_RPD] [%d:%d:%d:%d] <%d>:", now.ucHour,
                     now.ucMinute, now.ucSecond, static_cast<int>(now.ulMillisecond), static_cast<int>(ulNumber));
    uint32_t used = PEX_StrLen(line);
    if (pcFormat != nullptr && used < sizeof(line)) {
        va_list args;
        va_start(args, pcFormat);
        (void)vsnprintf_s(line + used, sizeof(line) - used, sizeof(line) - used, pcFormat, args);
        va_end(args);
    }

    FILE *file = fopen(kLogPath, "a+");
    if (file == nullptr) {
        return;
    }
    (void)fprintf(file, "%s \r\n", line);
    PEX_Printf("%s", line);
    (void)fflush(file);
    (void)fclose(file);
}

}  // extern "C"
