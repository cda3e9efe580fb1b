#!/usr/bin/env bash
# Checks of a built Pagewright.dll that need no Windows:
#   check_dll.sh <check> <dll> <binutils prefix, e.g. /usr/bin/x86_64-w64-mingw32-> <version>
# exports        exactly DllMain, pagewright and setLogging, undecorated
# imports        system DLLs only: no MinGW run-time DLL
# message-table  type 11, name 1, US English, every id and text of resources/messages.def
# version        VERSIONINFO: file and product version, description and product name
# package        (given pagewright-<version>-win32.zip or -win64.zip for <dll>) exactly the files
#                README-windows.txt lists; the DLL stripped, of its architecture, with its exports
#                and version
set -euo pipefail

check=$1
dll=$2
binutils=$3
version=$4
messages_def=$(dirname "$0")/../../resources/messages.def

fail() {
  echo "FAIL: $*" >&2
  exit 1
}

[ -f "$dll" ] || fail "no file at $dll"
case $check in
  exports)
    # The name table follows "[Ordinal/Name Pointer] Table" in objdump's dump of the export
    # directory, one "[n] name" line per export.
    names=$("${binutils}objdump" -p "$dll" | sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' |
      sed -n 's/^[[:space:]]*\[[[:space:]]*[0-9]*\][[:space:]]\+\([^[:space:]]\+\)$/\1/p' |
      sort | tr '\n' ' ')
    [ "$names" = "DllMain pagewright setLogging " ] || fail "exports are '$names'"
    echo "exports: $names"
    ;;
  imports)
    allowed=' kernel32.dll advapi32.dll gdi32.dll ole32.dll msvcrt.dll user32.dll '
    imports=$("${binutils}objdump" -p "$dll" | sed -n 's/^[[:space:]]*DLL Name: //p')
    [ -n "$imports" ] || fail "no imports found"
    for name in $imports; do
      lower=$(echo "$name" | tr '[:upper:]' '[:lower:]')
      [[ $allowed == *" $lower "* ]] || fail "imports $name, which is not a system DLL"
    done
    echo "imports: $(echo $imports)"
    ;;
  message-table)
    dump=$("${binutils}windres" -i "$dll" -O rc)
    grep -q -F '1 11 /* RT_MESSAGETABLE */' <<<"$dump" || fail "no message table named 1"
    # LANG_ENGLISH, SUBLANG_ENGLISH_US: 0x0409.
    grep -q -x 'LANGUAGE 9, 1' <<<"$dump" || fail "the message table is not in US English"
    count=0
    while IFS='|' read -r id text; do
      id=$(printf '0x%08x' "$id")
      # windres shows each entry as "MessageId = <id>" and then the ANSI text with its CR LF.
      shown=$(grep -A1 -x "   MessageId = $id" <<<"$dump" | sed -n 2p)
      [[ $shown == "   $text\r\n\000"* ]] || fail "message $id: no ANSI text '$text' with CR LF"
      count=$((count + 1))
    done < <(sed -n 's/^PW_MESSAGE(\(0x[0-9A-Fa-f]*\), *[A-Za-z0-9_]*, *"\(.*\)")$/\1|\2/p' \
      "$messages_def")
    entries=$(grep -c '^   MessageId = ' <<<"$dump")
    [ "$count" -gt 0 ] || fail "no messages read from $messages_def"
    [ "$entries" -eq "$count" ] || fail "the table has $entries entries, the list $count"
    echo "message table: $count messages"
    ;;
  version)
    dump=$("${binutils}windres" -i "$dll" -O rc)
    numbers=${version//./, }
    for line in "FILEVERSION $numbers, 0" "PRODUCTVERSION $numbers, 0" \
      "VALUE \"FileVersion\", \"$version\"" "VALUE \"ProductVersion\", \"$version\"" \
      'VALUE "ProductName", "Pagewright"' 'VALUE "FileDescription", "Pagewright: '; do
      grep -q -F -- "$line" <<<"$dump" || fail "the version information has no $line"
    done
    echo "version information: $version"
    ;;
  package)
    top=$(basename "$dll" .zip)
    files=$(cmake -E tar tf "$dll" | grep -v '/$' | LC_ALL=C sort | tr '\n' ' ')
    expected="$top/README-windows.txt $top/bin/Pagewright.dll $top/include/pagewright/pagewright.h"
    expected+=" $top/lib/Pagewright.def $top/lib/Pagewright.dll.a "
    [ "$files" = "$expected" ] || fail "the archive holds $files"
    zip=$(cd "$(dirname "$dll")" && pwd)/$(basename "$dll")
    unpacked=$(mktemp -d)
    trap 'rm -rf "$unpacked"' EXIT
    (cd "$unpacked" && cmake -E tar xf "$zip")
    packed=$unpacked/$top/bin/Pagewright.dll
    [[ $("${binutils}objdump" -h "$packed") != *debug* ]] || fail "the DLL is not stripped"
    format=pei-i386
    [[ $top == *-win64 ]] && format=pei-x86-64
    [[ $("${binutils}objdump" -f "$packed") == *"file format $format"* ]] ||
      fail "the DLL is no $format"
    grep -q ' __imp__\?pagewright$' <<<"$("${binutils}nm" "$unpacked/$top/lib/Pagewright.dll.a")" ||
      fail "the import library does not import pagewright"
    for check in exports version; do bash "$0" "$check" "$packed" "$binutils" "$version"; done
    echo "package: $(basename "$dll"), Pagewright.dll $(wc -c <"$packed") bytes"
    ;;
  *)
    fail "unknown check $check"
    ;;
esac
