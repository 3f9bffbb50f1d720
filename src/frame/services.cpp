// Service and message dispatchers of the operations record.
#include "internal.h"

namespace tam {

void InstallServiceCallbacks(TAM_RPD_PLUGIN_OPS &ops) noexcept { (void)ops; }

}  // namespace tam
