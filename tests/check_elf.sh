#!/usr/bin/env bash
# Checks the plug-in's ELF interface: what it needs from the process, what it
# exports, and that its dispatch tables are read-only data of the right size.
set -euo pipefail
so=$1
header=$2
fail=0
say() { echo "check_elf: $*" >&2; fail=1; }

needed=$(readelf -d "$so" | awk '/NEEDED/ {gsub(/[\[\]]/, "", $5); print $5}')
for lib in $needed; do
  case $lib in libc.so.*) ;; *) say "unexpected DT_NEEDED $lib" ;; esac
done

allowed_undef='^(QOR_Assert|QOR_SimpleAlloc_F|QOR_Free_F|QOR_Local_SystimeGet|PEX_Printf|PEX_MemCmp|PEX_StrLen|PEX_IpAddrToStr|DLL_Insert_In_Middle|DLL_Delete|memcpy_s|memset_s|snprintf_s|vsnprintf_s|fopen|fopen64|fprintf|fflush|fclose|memcpy|memset|memmove|__stack_chk_fail|__[a-z0-9_]+_chk|__cxa_finalize|_ITM_deregisterTMCloneTable|_ITM_registerTMCloneTable|__gmon_start__)$'
while read -r name; do
  [[ $name =~ $allowed_undef ]] || say "unexpected undefined symbol $name"
done < <(nm -D --undefined-only "$so" | awk '{print $NF}' | sed 's/@.*//')

# Registration entry points are weak, everything else global.
defined=$(nm -D --defined-only "$so")
for fn in TAM_RPD_Construct TAM_RPD_Destruct; do
  grep -qE " W $fn$" <<<"$defined" || say "$fn is not exported weak"
done

# Every function and table the public header declares is exported (inline
# helpers are the host's own code).
mapfile -t declared < <({ grep -vE '^(#define|static inline)' "$header" \
  | grep -oE '\b(TAM_RPD_[A-Z][A-Za-z0-9_]*|g_astTAM_RPD_[A-Z0-9_]+_TBL)\s*(\(|\[)' \
  | sed -E 's/\s*[][(]$//' | grep -vE '^TAM_RPD_(PFN|PIN|SIZE|STATIC_ASSERT|DECLARE_[A-Z]+)$'
  grep -oE 'TAM_RPD_DECLARE_[A-Z]+\((TAM_RPD_[A-Za-z0-9_]+)\)' "$header" | sed -E 's/.*\((.*)\)/\1/'; } | sort -u)
exported=$(awk '{print $NF}' <<<"$defined")
for sym in "${declared[@]}"; do
  grep -qx "$sym" <<<"$exported" || say "declared but not exported: $sym"
  case $sym in TAM_RPD_Construct|TAM_RPD_Destruct) continue ;; esac
  grep -qE " [TDR] $sym$" <<<"$defined" || say "$sym is not exported with global binding"
done

# Tables: exported objects of 12 bytes an entry, in a read-only or RELRO section.
while read -r value size type name; do
  bytes=$((16#$size))
  (( bytes % 12 == 0 && bytes > 0 )) || say "$name has $bytes bytes"
  sec=$(objdump -t "$so" | awk -v n="$name" '$NF == n {print $(NF-2)}' | head -n1)
  case $sec in .rodata|.data.rel.ro) ;; *) say "$name lives in $sec" ;; esac
done < <(nm -D -S --defined-only "$so" | awk '$NF ~ /^g_astTAM_RPD_/ {print $1, $2, $3, $4}')

exit $fail
