#!/usr/bin/env bash
# The dependency check must fail, naming the package, when deps.sh leaves
# out one whose CMake files the build loads. Takes it out of a copy of the
# list and expects exactly that.
# Usage: check_catches_missing_package.sh SOURCE_DIR BUILD_DIR PACKAGE
set -euo pipefail
source_dir="$1" build_dir="$2" package="$3"
copy="$(mktemp)"
trap 'rm -f "$copy"' EXIT
grep -q -w -- "$package" "$source_dir/scripts/deps.sh" || { echo "deps.sh does not list $package" >&2; exit 1; }
sed "s/\(^\|[[:space:]]\)$package\([[:space:]]\|$\)/\1\2/" "$source_dir/scripts/deps.sh" > "$copy"
if output=$("$source_dir/scripts/check_deps.sh" "$build_dir" "$copy" 2>&1); then
    echo "the check passed without $package in the list:" >&2
    echo "$output" >&2
    exit 1
fi
grep -q "MISSING: $package " <<<"$output" || { echo "the check failed without naming $package:" >&2; echo "$output" >&2; exit 1; }
echo "without $package: $output"
