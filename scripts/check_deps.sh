#!/usr/bin/env bash
# Checks that scripts/deps.sh installs every Debian package whose CMake
# package files a configured build loaded: for each *_DIR entry of the cache
# that holds a package configuration file, and for each library found
# through pkg-config, the package owning that file (dpkg -S) must be listed
# by deps.sh or be a dependency, direct or not, of one that is. The same for
# the files the program loads at run time that the build names in the cache
# (ACCEL_RUNTIME_FILE_* entries, such as Qt's translations). Names every
# package that is missing and fails.
#
# Usage: scripts/check_deps.sh BUILD_DIR [DEPS_SCRIPT]
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
cache="${1:?usage: $0 BUILD_DIR [DEPS_SCRIPT]}/CMakeCache.txt"
deps_script="${2:-$root/scripts/deps.sh}"
[ -r "$cache" ] || { echo "no CMake cache at $cache" >&2; exit 2; }

listed=$(bash "$deps_script" --list)
[ -n "$listed" ] || { echo "$deps_script --list printed no packages" >&2; exit 2; }

# Everything the listed packages pull in (Depends and Pre-Depends, every
# alternative), from the metadata of the installed packages.
closure=$(dpkg-query -W -f='${Package}\t${Depends}, ${Pre-Depends}\n' | awk -F'\t' -v listed="$listed" '
    {
        deps[$1] = $2
    }
    END {
        n = split(listed, queue, "\n")
        for (i = 1; i <= n; i++) seen[queue[i]] = 1
        for (i = 1; i <= n; i++) {
            m = split(deps[queue[i]], clauses, /[,|]/)
            for (j = 1; j <= m; j++) {
                name = clauses[j]
                sub(/\(.*/, "", name); sub(/:.*/, "", name); gsub(/[ \t]/, "", name)
                if (name != "" && !(name in seen)) { seen[name] = 1; queue[++n] = name }
            }
        }
        for (p in seen) print p
    }')

status=0
checked=0
while IFS='=' read -r key dir; do
    config=$(find "$dir" -maxdepth 1 \( -name '*Config.cmake' -o -name '*-config.cmake' \) \
                 ! -name '*Version*' ! -name '*-version*' 2>/dev/null | sort | head -1)
    [ -n "$config" ] || continue
    checked=$((checked + 1))
    owner=$(dpkg -S "$config" 2>/dev/null | head -1 | cut -d: -f1 || true)
    if [ -z "$owner" ]; then
        echo "MISSING: no Debian package owns $config (${key%%:*}); install it through scripts/deps.sh" >&2
        status=1
    elif ! grep -qxF "$owner" <<<"$closure"; then
        echo "MISSING: $owner (it provides $config, loaded as ${key%%:*}) is not installed by scripts/deps.sh" >&2
        status=1
    fi
done < <(grep -E '^[A-Za-z0-9_]+_DIR:PATH=' "$cache" | grep -v NOTFOUND)

while IFS='=' read -r key file; do
    checked=$((checked + 1))
    owner=$(dpkg -S "$file" 2>/dev/null | head -1 | cut -d: -f1 || true)
    if [ -z "$owner" ]; then
        echo "MISSING: no Debian package owns $file (${key%%:*}, loaded at run time); install it through scripts/deps.sh" >&2
        status=1
    elif ! grep -qxF "$owner" <<<"$closure"; then
        echo "MISSING: $owner (it provides $file, loaded at run time as ${key%%:*}) is not installed by scripts/deps.sh" >&2
        status=1
    fi
done < <(grep -E '^ACCEL_RUNTIME_FILE_[A-Z0-9_]+:[A-Z]+=' "$cache")

# Libraries found through pkg-config (pkg_check_modules): the package that
# owns the library file linked (the development package's link).
while IFS='=' read -r key library; do
    checked=$((checked + 1))
    owner=$(dpkg -S "$library" 2>/dev/null | head -1 | cut -d: -f1 || true)
    if [ -z "$owner" ]; then
        echo "MISSING: no Debian package owns $library (${key%%:*}); install it through scripts/deps.sh" >&2
        status=1
    elif ! grep -qxF "$owner" <<<"$closure"; then
        echo "MISSING: $owner (it provides $library, linked as ${key%%:*}) is not installed by scripts/deps.sh" >&2
        status=1
    fi
done < <(grep -E '^pkgcfg_lib_[A-Za-z0-9_]+:FILEPATH=' "$cache" | grep -v NOTFOUND)

if [ "$checked" -eq 0 ]; then
    echo "the cache names no package configuration files: nothing was checked" >&2
    exit 2
fi
[ "$status" -eq 0 ] && echo "deps.sh covers the $checked package configurations, libraries and run-time files the build named"
exit "$status"
