// Service and message dispatchers of the operations record.
#include "internal.h"

namespace tam {

void InstallServiceCallbacks(TAM_RPD_PLUGIN_OPS &ops) noexcept {
    ops.pfnData2Str = &TAM_RPD_Data2Str;
    ops.pfnFormatDisp = &TAM_RPD_FormatDisp;
}

}  // namespace tam
