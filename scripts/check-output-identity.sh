#!/usr/bin/env bash
# Converts a generated picture with the built `quillon` command and a
# settings file, and compares the SHA-256 of every output file with the
# reference list made by the converter before its output path was reworked
# (tests/identity/). The folder of the run is written as @DIR@ in the log
# before hashing, so the list does not depend on where the run happened.
# Files ending in .html (the HTML5 pages and the folder's index, outputs
# added after the lists were made, with tests of their own) are left out.
#
#   scripts/check-output-identity.sh [BUILD_DIR] [OBJECTS]
#   UPDATE=1 scripts/check-output-identity.sh ...   write the reference list
#
# BUILD_DIR defaults to build; OBJECTS to 2000 (the list kept in the
# repository is for 2000; another size needs its own list).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build}
objects=${2:-2000}
reference=$root/tests/identity/Ident$objects.sha256

work=$(mktemp -d /tmp/quillon-identity-XXXXXX)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/pics" "$work/out"
cat >"$work/settings.reg" <<REG
Windows Registry Editor Version 5.00

[HKEY_CLASSES_ROOT\\Software\\Qev Dynamics\\PICPATH]
@="$work/pics"

[HKEY_CLASSES_ROOT\\Software\\Qev Dynamics\\NODENAME]
@="NODE1"

[HKEY_CLASSES_ROOT\\Software\\Qev Dynamics\\Quillon\\WebOutPath]
@="$work/out"

[HKEY_CLASSES_ROOT\\QEV32\\DataSources\\Local]
@="DS"
"OpcProgID"="Velquist.OPCEDA"
"OpcServerMachineName"=""
REG
"$build/bin/quillon-generate" --seed 1 "$objects" "$work/pics/Ident$objects.grf"
"$build/bin/quillon" --registry "$work/settings.reg" convert "$work/pics/Ident$objects.grf" \
  </dev/null >"$work/stdout" 2>&1 || { cat "$work/stdout"; exit 1; }

actual=$work/actual.sha256
(
  cd "$work/out"
  for file in $(ls | LC_ALL=C sort); do
    case $file in
      *.html) ;;
      *.Log) printf '%s  %s\n' "$(sed "s|$work|@DIR@|g" "$file" | sha256sum | cut -d' ' -f1)" "$file" ;;
      *) sha256sum "$file" ;;
    esac
  done
) >"$actual"

if [ "${UPDATE:-0}" = 1 ]; then
  cp "$actual" "$reference"
  echo "wrote $reference ($(wc -l <"$reference") files)"
  exit 0
fi
if diff -u "$reference" "$actual"; then
  echo "output identical: $(wc -l <"$reference") files of a $objects-object picture"
else
  echo "output differs from $reference" >&2
  exit 1
fi
