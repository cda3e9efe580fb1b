#!/usr/bin/env bash
# Checks of a built Pagewright.dll that need no Windows:
#   check_dll.sh exports <dll> <objdump>         exactly DllMain, pagewright and setLogging, undecorated
#   check_dll.sh imports <dll> <objdump>         system DLLs only: no MinGW run-time DLL
#   check_dll.sh message-table <dll> <windres> <messages.def>
#                                                 type 11, name 1, US English, every id and text
set -euo pipefail

command=$1
dll=$2
tool=$3

fail() {
  echo "FAIL: $*" >&2
  exit 1
}

[ -f "$dll" ] || fail "no DLL at $dll"
case $command in
  exports)
    # The name table follows "[Ordinal/Name Pointer] Table" in objdump's dump of the export
    # directory, one "[n] name" line per export.
    names=$("$tool" -p "$dll" | sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' |
      sed -n 's/^[[:space:]]*\[[[:space:]]*[0-9]*\][[:space:]]\+\([^[:space:]]\+\)$/\1/p' |
      sort | tr '\n' ' ')
    [ "$names" = "DllMain pagewright setLogging " ] || fail "exports are '$names'"
    echo "exports: $names"
    ;;
  imports)
    allowed=' kernel32.dll advapi32.dll gdi32.dll ole32.dll msvcrt.dll user32.dll '
    imports=$("$tool" -p "$dll" | sed -n 's/^[[:space:]]*DLL Name: //p')
    [ -n "$imports" ] || fail "no imports found"
    for name in $imports; do
      lower=$(echo "$name" | tr '[:upper:]' '[:lower:]')
      [[ $allowed == *" $lower "* ]] || fail "imports $name, which is not a system DLL"
    done
    echo "imports: $(echo $imports)"
    ;;
  message-table)
    def=$4
    dump=$("$tool" -i "$dll" -O rc)
    grep -q -F '1 11 /* RT_MESSAGETABLE */' <<<"$dump" || fail "no message table named 1"
    # LANG_ENGLISH, SUBLANG_ENGLISH_US: 0x0409.
    grep -q -x 'LANGUAGE 9, 1' <<<"$dump" || fail "the message table is not in US English"
    count=0
    while IFS='|' read -r id text; do
      id=$(printf '0x%08x' "$id")
      # windres shows each entry as "MessageId = <id>" and the ANSI text with its CR LF.
      expected=$(printf '%s\\r\\n\\000' "$text")
      grep -A1 -x "   MessageId = $id" <<<"$dump" | grep -q -F -- "$expected" ||
        fail "message $id: no text '$text' with CR LF"
      count=$((count + 1))
    done < <(sed -n 's/^PW_MESSAGE(\(0x[0-9A-Fa-f]*\), *[A-Za-z0-9_]*, *"\(.*\)")$/\1|\2/p' "$def")
    entries=$(grep -c '^   MessageId = ' <<<"$dump")
    [ "$count" -gt 0 ] || fail "no messages read from $def"
    [ "$entries" -eq "$count" ] || fail "the table has $entries entries, the list $count"
    echo "message table: $count messages"
    ;;
  *)
    fail "unknown check $command"
    ;;
esac
