#!/usr/bin/env bash
# The Wine side of the Windows tests:
#   wine_tests.sh <build dir> setup       a fresh prefix in <build dir>/wine-prefix: a persistent
#                                         wineserver, C:\pw with the DLL, the documents and the
#                                         test images, and a PostScript printer whose port is a file
#   wine_tests.sh <build dir> cleanup     stops its wineserver and removes it
#   wine_tests.sh <build dir> run <exe> [arguments...]    runs a GoogleTest program in the prefix
#   wine_tests.sh <build dir> text <document>   what Ghostscript reads in a printing test's pages
# Wine's helper processes inherit the descriptors of whatever starts them and would keep a pipe
# to CTest open, so every Wine command writes to a file.
set -euo pipefail

build=$(cd "$1" && pwd)
command=$2
shift 2
source_dir=$(cd "$(dirname "$0")/../.." && pwd)
prefix=$build/wine-prefix
pw=$prefix/drive_c/pw # C:\pw
logs=$build/wine-logs
output=$build/wine-output
export WINEPREFIX=$prefix WINEARCH=win64 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
# Where the printing tests leave their PostScript (Wine's Z: is the root).
export PW_OUTPUT_DIR="Z:${output//\//\\}"
unset DISPLAY WAYLAND_DISPLAY

fail() {
  echo "FAIL: $*" >&2
  exit 1
}

# run <program> <arguments...>: under Wine, its output shown without the wine32 notice.
run() {
  local log
  log=$logs/$(basename "$1" .exe)-$$.log
  local status=0
  wine "$@" >"$log" 2>&1 </dev/null || status=$?
  grep -v -e 'wine32 is missing' -e 'multiarch needs' -e 'dpkg --add-architecture' \
    -e 'apt-get install wine32' "$log" || true
  rm -f "$log"
  return "$status"
}

# image <device> <size> <file> <PostScript> [options]: draws an image for C:\pw\images, the
# PostScript in pixels of 200 dpi.
image() {
  gs -q -dNOPAUSE -dBATCH -dSAFER -r200 -sDEVICE="$1" -g"$2" "${@:5}" \
    -sOutputFile="$pw/images/$3" -c "0.36 0.36 scale $4 showpage"
}

# The text Ghostscript finds in <document>.ps, one line per text line.
text_of() {
  # Wine's PostScript fonts name the space glyph so that it comes back as a no-break space.
  gs -q -dNOPAUSE -dBATCH -dSAFER -sDEVICE=txtwrite "${@:2}" -sOutputFile=- "$output/$1.ps" |
    sed -e 's/\xc2\xa0/ /g' -e 's/\r$//'
}

# (grep reads a whole string: with grep -q in a pipe, Ghostscript could die writing to it.)
expect_text() {
  grep -q -F -- "$2" <<<"$(text_of "$1")" || fail "$1: the text has no \"$2\""
}

mkdir -p "$logs" "$output"
case $command in
  setup)
    command -v wine >/dev/null || fail "wine is not installed (packages wine wine64)"
    command -v gs >/dev/null || fail "gs is not installed (package ghostscript)"
    if [ -d "$prefix" ]; then
      wineserver -k >/dev/null 2>&1 || true
      rm -rf "$prefix"
    fi
    rm -f "$output"/*
    mkdir -p "$prefix"
    # A persistent server keeps the prefix's services running between the tests' programs.
    wineserver -p >"$logs/wineserver.log" 2>&1 </dev/null || fail "wineserver -p failed"
    wineboot -i >"$logs/wineboot.log" 2>&1 </dev/null || fail "wineboot failed"
    mkdir -p "$pw/images"
    cp "$build/src/Pagewright.dll" "$source_dir"/tests/windows/data/*.txt "$pw/"
    # logo.tif: 240 x 120 bilevel, a 4-pixel frame, both diagonals and a 16 x 16 block at (8, 8);
    # colour.tif: 64 x 48 RGB, red in the top-left quarter and blue in the bottom-right one.
    image tiffscaled 240x120 logo.tif "0 120 translate 1 -1 scale 0 0 240 4 rectfill
      0 116 240 4 rectfill 0 0 4 120 rectfill 236 0 4 120 rectfill 8 8 16 16 rectfill
      1.5 setlinewidth 0 0 moveto 240 120 lineto 0 120 moveto 240 0 lineto stroke" \
      -sCompression=none
    image tiff24nc 64x48 colour.tif "1 0 0 setrgbcolor 0 24 32 24 rectfill
      0 0 1 setrgbcolor 32 0 32 24 rectfill"
    run "$build/tests/windows/host_tests.exe" --gtest_filter='PrefixSetup.*'
    ;;
  cleanup)
    wineserver -k >/dev/null 2>&1 || true
    rm -rf "$prefix"
    ;;
  run)
    run "$@"
    ;;
  text)
    case $1 in
      Plain)
        expect_text Plain "Pagewright lays plain text out as fax pages."
        expect_text Plain "This line follows a form feed, on the second page."
        expect_text Plain "The third page follows a file separator."
        # The long paragraph wraps at spaces inside the margins: about 60 characters a line.
        expect_text Plain "A paragraph long enough to need wrapping: the line layout breaks"
        expect_text Plain "sixty characters of ten"
        longest=$(text_of Plain | awk '{ if (length($0) > n) n = length($0) } END { print n }')
        [ "$longest" -le 72 ] || fail "Plain: a line of $longest characters ran past the margin"
        ;;
      Markup)
        for line in "FAX COVER SHEET" "To: Alice" "Subject: Quarterly figures" \
          "After the image." "Inserted line one" "Inserted café line"; do
          expect_text Markup "$line"
        done
        # Landscape text runs upwards: its characters come out one per line, last first.
        upwards=$(text_of Markup -dFirstPage=2 -dLastPage=2 | tr -d ' \n' | rev)
        [[ $upwards == *"Landscapetextrunsupthepage."* ]] ||
          fail "Markup: page 2 has no upward text (got: $upwards)"
        # The top of the first page, for people to look at.
        gs -q -dNOPAUSE -dBATCH -dNOSAFER -sDEVICE=png16m -r110 -g560x330 -dFIXEDMEDIA \
          -dFirstPage=1 -dLastPage=1 -sOutputFile="$output/windows-page.png" \
          -c '<</PageOffset [0 626]>> setpagedevice' -f "$output/Markup.ps"
        echo "page image: $output/windows-page.png"
        ;;
      # colour.tif drawn the right way up and in its colours (WIC's bottom-up BGR rows): the first
      # red pixel of the page, its top-left quarter, lies above and left of the first blue one.
      Images)
        expect_text Images "Below the colour image."
        ppm=$output/Images.ppm
        gs -q -dNOPAUSE -dBATCH -dSAFER -sDEVICE=ppmraw -r72 -sOutputFile="$ppm" "$output/Images.ps"
        header=$((3 + $(head -n 3 "$ppm" | grep -c '^#'))) # P6, comments, width height, 255
        read -r width _ < <(head -n "$header" "$ppm" | tail -n 2 | head -n 1)
        tail -c +$(($(head -n "$header" "$ppm" | wc -c) + 1)) "$ppm" | od -An -v -tu1 -w3 |
          awk -v w="$width" '
            $1 > 200 && $2 < 60 && $3 < 60 && !r { r = 1; rx = (NR - 1) % w; ry = int((NR - 1) / w) }
            $1 < 60 && $2 < 60 && $3 > 200 && !b { b = 1; bx = (NR - 1) % w; by = int((NR - 1) / w) }
            END { exit !(r && b && rx < bx && ry < by) }' ||
          fail "Images: the colour image is not drawn the right way up in its colours"
        ;;
      # The page started before the missing image is ended, and reading stops there.
      MissingImage)
        expect_text MissingImage "Before the image."
        ! grep -q "Never printed" <<<"$(text_of MissingImage)" ||
          fail "MissingImage: reading went on"
        ;;
      *) fail "no text checks for $1" ;;
    esac
    ;;
  *)
    fail "unknown command $command"
    ;;
esac
