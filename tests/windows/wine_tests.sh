#!/usr/bin/env bash
# The Windows tests that run under Wine, one CTest test per command:
#   wine_tests.sh <build dir> <command>
# "setup" makes a fresh prefix in <build dir>/wine-prefix (with a persistent wineserver, the DLLs,
# the hosts and a PostScript printer whose port is a file); "cleanup" stops its wineserver and
# removes it; every other command is one test. The hosts check what they can see themselves;
# this script checks what only Wine's trace and Ghostscript show.
#
# Wine's helper processes inherit the descriptors of whatever starts them and would keep a pipe
# to CTest open, so every Wine command writes to a file.
set -euo pipefail

build=$(cd "$1" && pwd)
command=$2
source_dir=$(cd "$(dirname "$0")/../.." && pwd)
prefix=$build/wine-prefix
pw=$prefix/drive_c/pw  # C:\pw
logs=$build/wine-logs
export WINEPREFIX=$prefix WINEARCH=win64 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
unset DISPLAY WAYLAND_DISPLAY
printer="Pagewright PS"

fail() {
  echo "FAIL: $*" >&2
  exit 1
}

# run <log name> <program> <arguments...>: runs a host under Wine, shows its output, fails with it.
run() {
  local log=$logs/$1.log
  shift
  local status=0
  wine "$@" >"$log" 2>&1 </dev/null || status=$?
  grep -v -e 'wine32 is missing' -e 'multiarch needs' -e 'dpkg --add-architecture' \
    -e 'apt-get install wine32' "$log" || true
  [ "$status" -eq 0 ] || fail "$* exited with $status (log: $log)"
}

# The reports Wine's ReportEventA traced ("fixme:advapi" has the id and type, "eventlog" the
# strings, one line each).
traced() {
  WINEDEBUG=-all,fixme+advapi,+eventlog run "$@"
}

expect_in_log() {
  grep -a -q -F -- "$2" "$logs/$1.log" || fail "$1: no line with: $2"
}

expect_not_in_log() {
  ! grep -a -q -F -- "$2" "$logs/$1.log" || fail "$1: unexpected line with: $2"
}

# convert <name> <pages> <text file> [host options...]: prints C:\pw\<text file> and keeps the
# PostScript as <build>/wine-output/<name>.ps.
convert() {
  local name=$1 pages=$2 text=$3
  shift 3
  rm -f "$pw/out.ps"
  cp "$source_dir/tests/windows/data/$text" "$pw/$text"
  run "$name" "$pw/print_host.exe" convert 'C:\pw\Pagewright.dll' "$printer" "C:\\pw\\$text" \
    "$pages" "$@"
  [ -s "$pw/out.ps" ] || fail "$name: the printer's port file C:\\pw\\out.ps was not written"
  mkdir -p "$build/wine-output"
  mv "$pw/out.ps" "$build/wine-output/$name.ps"
}

# The page count from the DSC comments: the trailer's %%Pages and the number of %%Page markers.
check_pages() {
  local ps=$build/wine-output/$1.ps expected=$2
  local declared markers
  declared=$(grep -a -E '^%%Pages: [0-9]+' "$ps" | tail -1 | awk '{print $2}')
  markers=$(grep -a -c -E '^%%Page: ' "$ps")
  [ "$declared" = "$expected" ] || fail "$1: %%Pages says '$declared', expected $expected"
  [ "$markers" = "$expected" ] || fail "$1: $markers %%Page comments, expected $expected"
}

# text_of <name> [first page] [last page]: the text Ghostscript finds, one line per text line.
text_of() {
  local ps=$build/wine-output/$1.ps
  local pages=()
  [ $# -ge 3 ] && pages=(-dFirstPage="$2" -dLastPage="$3")
  # Wine's PostScript fonts name the space glyph so that it comes back as a no-break space.
  gs -q -dNOPAUSE -dBATCH -dSAFER -sDEVICE=txtwrite "${pages[@]}" -sOutputFile=- "$ps" |
    sed -e 's/\xc2\xa0/ /g' -e 's/\r$//'
}

expect_text() {
  local name=$1 wanted=$2
  text_of "$name" | grep -q -F -- "$wanted" || fail "$name: the text has no \"$wanted\""
}

mkdir -p "$logs"
case $command in
  setup)
    if [ -d "$prefix" ]; then
      wineserver -k >/dev/null 2>&1 || true
      rm -rf "$prefix"
    fi
    command -v wine >/dev/null || fail "wine is not installed (packages wine wine64)"
    command -v gs >/dev/null || fail "gs is not installed (package ghostscript)"
    mkdir -p "$prefix"
    # A persistent server keeps the prefix's services running between the tests' hosts.
    wineserver -p >"$logs/wineserver.log" 2>&1 </dev/null ||
      fail "wineserver -p failed (see $logs/wineserver.log)"
    wineboot -i >"$logs/wineboot.log" 2>&1 </dev/null ||
      fail "wineboot failed (see $logs/wineboot.log)"
    mkdir -p "$pw"
    cp "$build/src/Pagewright.dll" "$build"/tests/windows/*.exe "$pw/"
    run printer-install "$pw/print_host.exe" install "$printer" 'C:\pw\out.ps'
    mkdir -p "$pw/images"
    run make-images "$pw/print_host.exe" make-images 'C:\pw\images'
    ;;
  cleanup)
    wineserver -k >/dev/null 2>&1 || true
    rm -rf "$prefix"
    ;;

  registry)
    run registry "$pw/module_host.exe" register 'C:\pw\Pagewright.dll' Pagewright
    ;;
  registry-renamed)
    # The source name is the file name without its last extension, whatever the file is called.
    mkdir -p "$pw/other"
    cp "$pw/Pagewright.dll" "$pw/other/Fax.Renderer.dll"
    run registry-renamed "$pw/module_host.exe" register 'C:\pw\other\Fax.Renderer.dll' Fax.Renderer
    ;;
  registry-long-name)
    # The registry's ANSI functions take key names of up to MAX_PATH (260) characters: 205
    # characters of source name after the 55 of the prefix still register.
    name=$(printf 'L%.0s' $(seq 1 205))
    cp "$pw/Pagewright.dll" "$pw/$name.dll"
    run registry-long-name "$pw/module_host.exe" register "C:\\pw\\$name.dll" "$name"
    # One more and the key is refused: the module loads and writes the fallback event.
    cp "$pw/Pagewright.dll" "$pw/${name}M.dll"
    traced registry-too-long "$pw/module_host.exe" refused "C:\\pw\\${name}M.dll" "${name}M"
    expect_in_log registry-too-long 'ReportEventA (00000000CAFE4242,0x0001,0x0000,0x00000000,'
    expect_in_log registry-too-long "err:eventlog:ReportEventW L\"C:\\\\pw\\\\${name}M.dll\""
    ;;
  registry-unwritable)
    # The key is refused: the module loads, writes one error event with id 0 and its path under
    # its name, and reports nothing afterwards.
    traced registry-unwritable "$pw/module_host.exe" unwritable 'C:\pw\Pagewright.dll' Pagewright
    expect_in_log registry-unwritable 'ReportEventA (00000000CAFE4242,0x0001,0x0000,0x00000000,'
    expect_in_log registry-unwritable 'err:eventlog:ReportEventW L"C:\\pw\\Pagewright.dll"'
    expect_not_in_log registry-unwritable '0xc0006d74'
    ;;

  message-table)
    cp "$build/src/Pagewright.dll" "$pw/Pagewright-data.dll"
    run message-table "$pw/messages_host.exe" 'C:\pw\Pagewright-data.dll'
    other=$build/../mingw-i686/src/Pagewright.dll
    if [ -f "$other" ]; then
      cp "$other" "$pw/Pagewright-i686.dll"
      run message-table-i686 "$pw/messages_host.exe" 'C:\pw\Pagewright-i686.dll'
    else
      echo "note: no i686 build next to this one; its table is checked by windres only"
    fi
    ;;

  units)
    run units "$pw/units_host.exe" 'C:\pw\images'
    ;;
  print-plain)
    convert plain 3 plain.txt
    check_pages plain 3
    expect_text plain "Pagewright lays plain text out as fax pages."
    expect_text plain "This line follows a form feed, on the second page."
    expect_text plain "The third page follows a file separator."
    # The long paragraph wraps at spaces inside the margins: about 60 characters a line here.
    expect_text plain "A paragraph long enough to need wrapping: the line layout breaks"
    expect_text plain "sixty characters of ten"
    longest=$(text_of plain | awk '{ if (length($0) > n) n = length($0) } END { print n }')
    [ "$longest" -le 72 ] || fail "plain: a line of $longest characters ran past the margin"
    ;;
  print-markup)
    # Field 3 names a UTF-16 file whose lines "%3" prints: the file mapping and the conversion to
    # the ANSI code page.
    { printf '\xff\xfe'; printf 'Inserted line one\r\nInserted caf\xe9 line\r\n' |
      iconv -f LATIN1 -t UTF-16LE; } >"$pw/insert.txt"
    convert markup 2 markup.txt --markup --images 'C:\pw\images' --field 24=Alice \
      --field '37=Quarterly figures' --field '3=C:\pw\insert.txt'
    check_pages markup 2
    expect_text markup "FAX COVER SHEET"
    expect_text markup "To: Alice"
    expect_text markup "Subject: Quarterly figures"
    expect_text markup "After the image."
    expect_text markup "Inserted line one"
    expect_text markup "Inserted café line"
    # Bold text comes in the bold face of the font.
    grep -a -q -E '^ */FontName /[A-Za-z]+-Bold' "$build/wine-output/markup.ps" ||
      fail "markup: no bold font in the PostScript"
    # Landscape text runs upwards: its characters come out one per line, last first.
    upwards=$(text_of markup 2 2 | tr -d ' \n' | rev)
    [[ $upwards == *"Landscapetextrunsupthepage."* ]] ||
      fail "markup: page 2 has no upward text (got: $upwards)"
    # The image arrives as a 1-bit mask of its own size.
    grep -a -q -F '/ImageMatrix [240 0 0 -120 0 120]' "$build/wine-output/markup.ps" ||
      fail "markup: the 240 x 120 image is not in the PostScript"
    # The top of the first page, for people to look at.
    gs -q -dNOPAUSE -dBATCH -dNOSAFER -sDEVICE=png16m -r110 -g560x330 -dFIXEDMEDIA \
      -dFirstPage=1 -dLastPage=1 -sOutputFile="$build/wine-output/windows-page.png" \
      -c '<</PageOffset [0 626]>> setpagedevice' -f "$build/wine-output/markup.ps"
    echo "page image: $build/wine-output/windows-page.png"
    ;;
  print-images)
    # A colour image comes through WIC's converter as 24-bit rows.
    convert images 1 images.txt --markup --images 'C:\pw\images'
    check_pages images 1
    expect_text images "Below the colour image."
    grep -a -q -F '/ImageMatrix [64 0 0 -48 0 48]' "$build/wine-output/images.ps" ||
      fail "images: the 64 x 48 colour image is not in the PostScript"
    # A missing image: "Cannot open %1: %2" with the image's path; the conversion fails with
    # error 2 after ending the page it had started.
    WINEDEBUG=-all,fixme+advapi,+eventlog convert image-missing 1 image-missing.txt --markup \
      --images 'C:\pw\images' --error 2
    expect_in_log image-missing 'ReportEventA (00000000CAFE4242,0x0001,0x0000,0xc0006d74,'
    expect_in_log image-missing 'err:eventlog:ReportEventW L"C:\\pw\\images\\missing.tif"'
    ! text_of image-missing | grep -q "Never printed" || fail "image-missing: reading went on"
    # A file that is no TIFF: "Cannot convert tiff file %1 to bitmap: %2", a warning, error 11.
    WINEDEBUG=-all,fixme+advapi,+eventlog convert image-not-tiff 1 image-not-tiff.txt --markup \
      --images 'C:\pw\images' --error 11
    expect_in_log image-not-tiff 'ReportEventA (00000000CAFE4242,0x0002,0x0000,0x80006db5,'
    expect_in_log image-not-tiff 'warn:eventlog:ReportEventW L"C:\\pw\\images\\notes.tif"'
    ;;
  reports)
    # A missing file: "Cannot open %1: %2" as an error event with the full id, the path and the
    # system's text for error 2 with its CR LF.
    traced reports-missing "$pw/print_host.exe" missing 'C:\pw\Pagewright.dll' "$printer"
    expect_in_log reports-missing 'ReportEventA (00000000CAFE4242,0x0001,0x0000,0xc0006d74,0000000000000000,0x0002,'
    expect_in_log reports-missing 'err:eventlog:ReportEventW L"C:\\no such directory\\..\\missing.txt"'
    grep -a -q -E 'err:eventlog:ReportEventW L".+\\r\\n"$' "$logs/reports-missing.log" ||
      fail "reports-missing: the error text does not end in CR LF"
    # No text file named: the message without inserts.
    expect_in_log reports-missing 'ReportEventA (00000000CAFE4242,0x0001,0x0000,0xc0006d6a,0000000000000000,0x0000,'
    # StartDoc fails on a memory DC: "StartDoc failed when converting %1: %2".
    cp "$source_dir/tests/windows/data/plain.txt" "$pw/plain.txt"
    traced reports-memory-dc "$pw/print_host.exe" memory-dc 'C:\pw\Pagewright.dll' 'C:\pw\plain.txt'
    expect_in_log reports-memory-dc 'ReportEventA (00000000CAFE4242,0x0001,0x0000,0xc0006d92,0000000000000000,0x0002,'
    expect_in_log reports-memory-dc 'err:eventlog:ReportEventW L"C:\\pw\\plain.txt"'
    ;;
  out-of-memory)
    # The module's allocations fail from a size on: the conversion fails, the host lives on.
    cp "$source_dir/tests/windows/data/plain.txt" "$pw/plain.txt"
    run out-of-memory "$pw/alloc_host.exe" 'C:\pw\Pagewright.dll' "$printer" 'C:\pw\plain.txt'
    ;;
  *)
    fail "unknown command $command"
    ;;
esac
