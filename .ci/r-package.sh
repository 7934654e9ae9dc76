#!/usr/bin/env bash
# CI: the R package. Installs Debian's R, Rcpp and testthat when missing (as the Slurm test
# installs its packages), builds the package's tarball from the engine's sources
# (scripts/r-package.sh) and runs `R CMD check --no-manual` on it (its examples and its
# tests against R's own chisq.test, fisher.test and enumerations). Passes only when the
# check reports no ERROR and no WARNING; its NOTEs are printed (the README says which are
# expected and why).
set -euo pipefail
cd "$(dirname "$0")/.."

as_root() { if [ "$(id -u)" = 0 ]; then "$@"; else sudo "$@"; fi; }
packages=(r-base-dev r-cran-rcpp r-cran-testthat)
missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
    echo "Installing ${missing[*]}..."
    export DEBIAN_FRONTEND=noninteractive
    as_root apt-get install -y --no-install-recommends "${missing[@]}" >/dev/null ||
        { as_root apt-get update >/dev/null &&
            as_root apt-get install -y --no-install-recommends "${missing[@]}" >/dev/null; }
fi

work="$(mktemp -d /tmp/quillon-r.XXXXXX)"
trap 'rm -rf "$work"' EXIT
tarball="$(scripts/r-package.sh "$work" | tail -n 1)"
# Two cores for the compilation; the check's own temporary files stay in $work.
export MAKEFLAGS="-j${QUILLON_R_JOBS:-2}"
status=0
(cd "$work" && R CMD check --no-manual "$tarball") >"$work/check.log" 2>&1 || status=$?
log="$work/quillon.Rcheck/00check.log"
if [ $status -ne 0 ] || grep -qE "^\* .*\.\.\. (ERROR|WARNING)$|^(ERROR|WARNING)" "$log" 2>/dev/null; then
    tail -n 60 "$work/check.log" >&2
    [ -f "$work/quillon.Rcheck/tests/testthat.Rout.fail" ] &&
        tail -n 60 "$work/quillon.Rcheck/tests/testthat.Rout.fail" >&2
    echo "FAIL: R CMD check of the R package"
    exit 1
fi
grep -E "\.\.\. NOTE$" -A6 "$log" || true
echo "PASS: R CMD check of the R package (no ERROR, no WARNING)"
