#!/usr/bin/env bash
# Fails when a source file includes a header of a folder that its own folder may not use: include
# arrows run one way, from the exports down to the operating system.
#   check_layers.sh SRC_DIR
set -euo pipefail
src=${1:?the src folder}

# Folder -> the folders it may include besides itself (raster's subfolders count as raster).
declare -A allowed=(
  [api]="converter raster surface images eventlog support platform"
  [converter]="surface images eventlog support platform"
  [raster]="surface support platform"
  [surface]="support platform"
  [images]="eventlog support platform"
  [eventlog]="support platform"
  [support]="platform"
  [platform]=""
)

status=0
while IFS= read -r file; do
  from=${file#"$src"/}
  from=${from%%/*}
  while IFS= read -r header; do
    to=${header%%/*}
    [ "$to" = "$header" ] && continue          # a header beside the file
    [ -n "${allowed[$to]+set}" ] || continue   # public headers, resources
    [ "$to" = "$from" ] && continue
    if [[ " ${allowed[$from]} " != *" $to "* ]]; then
      echo "${file#"$src"/}: $from must not include $header" >&2
      status=1
    fi
  done < <(sed -n 's/^#include "\([^"]*\)".*/\1/p' "$file")
done < <(find "$src" -name '*.h' -o -name '*.cpp')
exit "$status"
