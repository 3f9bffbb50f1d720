#!/usr/bin/env bash
# Checks that the build is hardened.
#   check_hardening.sh COMPILE_COMMANDS.json BUILD_TYPE ELF... [--pie ELF...]
# Every compile command carries the stack protector, stack clash protection
# and CET branch protection (and FORTIFY unless the build type is Debug or a
# sanitizer build); every ELF has full RELRO (a GNU_RELRO segment and
# BIND_NOW) and calls the stack protector's failure path, and with FORTIFY
# on at least one of them calls a fortified libc function; those after
# --pie are PIE executables. Stack clash and CET leave no mark to read back
# reliably (the toolchain's own crtn.o carries no CET property), hence the
# flag check.
set -euo pipefail
commands=$1
build_type=$2
shift 2
fail=0
say() { echo "check_hardening: $*" >&2; fail=1; }

fortify=1
[[ $build_type == Debug ]] && fortify=0
grep -q -- '-fsanitize=' "$commands" && fortify=0

# The compile commands of our own sources (not of dependencies' test scaffolding).
mapfile -t cmds < <(grep '"command"' "$commands")
((${#cmds[@]} > 0)) || say "no compile commands in $commands"
for flag in -fstack-protector-strong -fstack-clash-protection -fcf-protection; do
  n=$(printf '%s\n' "${cmds[@]}" | grep -c -- "$flag" || true)
  ((n == ${#cmds[@]})) || say "$flag missing from $((${#cmds[@]} - n)) of ${#cmds[@]} compile commands"
done
if ((fortify)); then
  n=$(printf '%s\n' "${cmds[@]}" | grep -c -- '-D_FORTIFY_SOURCE=2' || true)
  ((n == ${#cmds[@]})) || say "-D_FORTIFY_SOURCE=2 missing from $((${#cmds[@]} - n)) compile commands"
fi

pie=0
fortified=0
for f in "$@"; do
  case $f in
    --pie) pie=1; continue ;;
  esac
  [[ -f $f ]] || { say "$f: no such file"; continue; }
  readelf -lW "$f" | grep GNU_RELRO >/dev/null || say "$f: no RELRO segment"
  readelf -dW "$f" | grep -E 'BIND_NOW|FLAGS_1.*NOW' >/dev/null || say "$f: not linked with -z now (partial RELRO)"
  imports=$(nm -D --undefined-only "$f" | awk '{print $NF}' | sed 's/@.*//')
  grep -qx '__stack_chk_fail' <<<"$imports" || say "$f: no stack protector"
  if grep -Eq '^__[a-z0-9_]+_chk$' < <(grep -vx '__stack_chk_fail' <<<"$imports"); then fortified=1; fi
  if ((pie)); then
    readelf -hW "$f" | grep 'Type:.*DYN' >/dev/null || say "$f: not position independent"
    readelf -dW "$f" | grep 'FLAGS_1.*PIE' >/dev/null || say "$f: not a PIE executable"
  fi
done
# A binary may have nothing FORTIFY can check (clang leaves the plug-in's
# few libc calls as they are), but the build as a whole must show it works.
if ((fortify && !fortified)); then say "FORTIFY is on but no binary calls a fortified function"; fi
exit $fail
