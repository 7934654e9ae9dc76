#!/usr/bin/env bash
# Builds the R package: a copy of r/quillon with the engine's own sources staged into its
# src/ (each subsystem in its own folder, so the engine's includes stand as they are), the
# Rcpp glue generated, then `R CMD build`. Leaves a self-contained source tarball in OUTDIR
# and prints its path as the last line. Needs r-base-dev and r-cran-rcpp (scripts/setup.sh).
#
#   scripts/r-package.sh OUTDIR
#   R CMD INSTALL "$(scripts/r-package.sh /tmp/quillon-r | tail -1)"
set -euo pipefail

if [ $# -ne 1 ]; then
    echo "usage: scripts/r-package.sh OUTDIR" >&2
    exit 2
fi
root="$(cd "$(dirname "$0")/.." && pwd)"
mkdir -p "$1"
out="$(cd "$1" && pwd)"

# The engine's subsystems the studies and the analysis are made of (no windows, no
# command line); the studies are the folders the build lists in CMakeLists.txt.
read -ra studies <<<"$(sed -n 's/^set(QUILLON_STUDIES \(.*\))$/\1/p' "$root/CMakeLists.txt")"
if [ ${#studies[@]} -eq 0 ]; then
    echo "r-package.sh: no QUILLON_STUDIES in CMakeLists.txt" >&2
    exit 1
fi
subsystems=(core study analysis "${studies[@]}" summary)

stage="$(mktemp -d)"
trap 'rm -rf "$stage"' EXIT
cp -R "$root/r/quillon" "$stage/quillon"
pkg="$stage/quillon"
objects=()
for sub in "${subsystems[@]}"; do
    mkdir -p "$pkg/src/$sub"
    cp "$root/src/$sub/"*.h "$root/src/$sub/"*.cpp "$pkg/src/$sub/"
    for f in "$pkg/src/$sub/"*.cpp; do
        objects+=("$sub/$(basename "${f%.cpp}").o")
    done
done
echo "ENGINE_OBJECTS = ${objects[*]}" >>"$pkg/src/Makevars"

Rscript -e "Rcpp::compileAttributes('$pkg')" >&2
(cd "$out" && R CMD build --no-manual "$pkg" >&2)
version="$(sed -n 's/^Version: *//p' "$pkg/DESCRIPTION")"
echo "$out/quillon_${version}.tar.gz"
