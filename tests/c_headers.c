/* The public headers compile as C11, alone and together, with every warning. */
#include "tam_rpd_host.h"
#include "tam_rpd.h"

/* A host's definition must match the declaration it provides. */
typedef void *(*AllocFn)(uint64_t, uint32_t, const char *, uint32_t);
static AllocFn const kAlloc = QOR_SimpleAlloc_F;
const void *tam_c_headers_probe(void) { return (const void *)&kAlloc; }
