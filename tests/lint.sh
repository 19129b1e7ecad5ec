#!/usr/bin/env bash
# Fails when a source file is not as clang-format lays it out, when a Markdown document breaks a
# rule of markdownlint (.markdownlint-cli2.jsonc), when clang-tidy finds anything with the checks
# named in .clang-tidy, or when the platform's files call each other in a circle
# (tests/platform/calls.sh). Needs a built build folder with compile_commands.json, and npm for
# the first run into it.
# Usage: tests/lint.sh [BUILD_DIR]   (default: build)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}

mapfile -t sources < <(git ls-files -- '*.cpp' '*.h')

unformatted=()
for file in "${sources[@]}"; do
    clang-format --dry-run --Werror "$file" >/dev/null 2>&1 || unformatted+=("$file")
done
if [ ${#unformatted[@]} -gt 0 ]; then
    clang-format --dry-run --Werror "${unformatted[@]}" 2>&1 | head -n 40 >&2 || true
    echo "lint: clang-format would change ${unformatted[*]}; run: clang-format -i ${unformatted[*]}" >&2
    exit 1
fi

# markdownlint as tests/markdown pins it, installed once into the build folder.
markdown=$build/markdown
if ! cmp -s tests/markdown/package-lock.json "$markdown/package-lock.json"; then
    mkdir -p "$markdown"
    cp tests/markdown/package.json tests/markdown/package-lock.json "$markdown/"
    npm ci --prefix "$markdown" --no-audit --no-fund --loglevel=error >/dev/null ||
        { rm -f "$markdown/package-lock.json"; exit 1; }
fi
mapfile -t documents < <(git ls-files -- '*.md')
if ! "$markdown/node_modules/.bin/markdownlint-cli2" "${documents[@]}" >"$markdown/lint.log" 2>&1; then
    grep -v '^markdownlint-cli2 \|^Finding:\|^Linting:' "$markdown/lint.log" >&2
    echo "lint: markdownlint found the problems above in the Markdown documents; mend them" >&2
    exit 1
fi

if [ ! -f "$build/compile_commands.json" ]; then
    echo "lint: $build/compile_commands.json is missing; configure first: cmake --preset default" >&2
    exit 1
fi
# Only the files the build compiles, so that each is checked with its own flags.
mapfile -t units < <(printf '%s\n' "${sources[@]}" | grep '\.cpp$' |
    while read -r file; do grep -q "\"file\": \"$PWD/$file\"" "$build/compile_commands.json" && echo "$file"; done)
log=$(mktemp)
trap 'rm -f "$log"' EXIT
if ! printf '%s\n' "${units[@]}" | xargs -P "$(nproc)" -n 2 clang-tidy -p "$build" --quiet >"$log" 2>&1; then
    grep -E -A3 '(warning|error):' "$log" | head -n 60 >&2
    echo "lint: clang-tidy found the problems above; mend them (or, for a check that does not fit, exclude it in .clang-tidy with its reason)" >&2
    exit 1
fi
tests/platform/calls.sh "$build" >/dev/null
echo "lint: clang-format and clang-tidy find nothing in ${#sources[@]} files, markdownlint nothing in ${#documents[@]} documents, and no platform file calls back"
