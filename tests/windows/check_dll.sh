#!/usr/bin/env bash
# Checks what a DLL of the Windows build shows the loader of a Windows 2000 host:
#   check_dll.sh <objdump> <dll> <reviewed imports> <export>...
# - it exports exactly the names given, undecorated;
# - it imports only from KERNEL32 and the spooler, and only functions on the reviewed list
#   (a function that is new there fails the check until someone has made sure that
#   Windows 2000 has it and added it);
# - it is a DLL whose headers ask for no newer system than Windows 2000, and it has no
#   static thread-local storage, which a DLL loaded with LoadLibrary cannot use there.
set -euo pipefail
objdump=$1 dll=$2 reviewed=$3
shift 3
name=$(basename "$dll")
dump=$("$objdump" -p "$dll")
failed=0
fail() { echo "$name: $*"; failed=1; }

exports=$(awk '/^\[Ordinal\/Name Pointer\] Table/ { table = 1; next }
               table && /^\t\[ *[0-9]+\] / { print $NF; next }
               table { table = 0 }' <<<"$dump" | sort)
expected=$(printf '%s\n' "$@" | sort)
if [[ "$exports" != "$expected" ]]; then
  fail "exports differ from the list (< expected, > found):"
  diff <(echo "$expected") <(echo "$exports") || true
fi

# "DLL function" per imported function; an import by ordinal shows as "<none>".
imports=$(awk '/^The Import Tables/ { section = 1; next }
               /^(The Export Tables|There is an export table|PE File Base Relocations)/ { section = 0 }
               section && /^\tDLL Name: / { dll = toupper($3); next }
               section && dll != "" && /^\t[0-9a-f]+\t/ { print dll " " $3 }' <<<"$dump")
echo "$name imports:"
if [[ -z "$imports" ]]; then
  echo "  (nothing)"
else
  sed 's/^/  /' <<<"$imports"
fi
allowed=$(grep -v '^\s*\(#\|$\)' "$reviewed" | awk '{ print toupper($1) " " $2 }')
while read -r library function; do
  [[ -z "$library" ]] && continue
  case "$library" in
    KERNEL32.DLL | WINSPOOL.DRV) ;;
    *) fail "imports from $library ($function): only KERNEL32 and the spooler are allowed" ;;
  esac
  grep -qxF "$library $function" <<<"$allowed" || fail "imports $library $function, which is not on the reviewed list $reviewed"
done <<<"$imports"

field() { awk -v key="$1" '$1 == key { print $2; exit }' <<<"$dump"; }
for version in OSystem Subsystem; do
  major=$(field "Major${version}Version")
  minor=$(field "Minor${version}Version")
  if [[ -z "$major" ]] || ((major > 5 || (major == 5 && minor > 0))); then
    fail "asks for $version version $major.$minor, newer than Windows 2000 (5.0)"
  fi
done
grep -qP '^\tDLL$' <<<"$dump" || fail "is not marked as a DLL"
tls=$(awk '/Thread Storage Directory/ { print $3 ":" $4; exit }' <<<"$dump")
[[ "$tls" == "00000000:00000000" ]] || fail "has a thread-local storage directory (RVA:size $tls)"

exit "$failed"
