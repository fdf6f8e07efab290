#!/bin/sh
# gzip-file.sh SOURCE TARGET: TARGET becomes SOURCE compressed at the highest level, without the
# source's name and time inside, so the same file always gives the same bytes.
set -e
gzip -9nc "$1" >"$2.tmp"
mv -f "$2.tmp" "$2"
