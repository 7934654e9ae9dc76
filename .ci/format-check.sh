#!/usr/bin/env bash
# Every C++ file in git is as clang-format (with .clang-format) would write it.
# Lists the files that are not and exits 1; installs clang-format when missing.
set -euo pipefail
cd "$(dirname "$0")/.."
if ! command -v clang-format >/dev/null; then
    SUDO=""; [ "$(id -u)" -ne 0 ] && SUDO="sudo"
    $SUDO apt-get install -y -qq clang-format >&2 ||
        { $SUDO apt-get update -qq && $SUDO apt-get install -y -qq clang-format >&2; }
fi
# One clang-format process for every file: it names each file it would change.
if ! git ls-files -z -- '*.cpp' '*.h' | xargs -0 clang-format --dry-run --Werror; then
    echo "Not clang-format clean: run clang-format -i on the files named above" >&2
    exit 1
fi
echo "clang-format: every C++ file clean"
