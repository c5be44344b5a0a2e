#!/usr/bin/env bash
# Builds the idiom database from the npm packages pinned in package.json.
# Usage: tools/idioms/build-database.sh <build-folder> <output path>
# Quick when nothing changed: the packages are installed once, and the table
# and the database are rebuilt only when their inputs are newer.
set -euo pipefail
if [ $# -ne 2 ]; then
    echo "usage: $0 <build-folder> <output path>" >&2
    exit 2
fi
here=$(cd "$(dirname "$0")" && pwd)
build=$(mkdir -p "$1" && cd "$1" && pwd)
output=$2
mkdir -p "$(dirname "$output")"

# Every pinned package present at its pinned version, or install them all.
installed() {
    node -e '
        const dir = process.argv[1];
        const wanted = require(dir + "/package.json").dependencies;
        for (const [name, version] of Object.entries(wanted)) {
            try {
                if (require(dir + "/node_modules/" + name + "/package.json").version !== version)
                    process.exit(1);
            } catch (e) { process.exit(1); }
        }' "$here"
}
if ! installed; then
    # No lock file is kept, so npm ci is not an option; the versions are exact.
    (cd "$here" && npm install --no-audit --no-fund --ignore-scripts)
fi

table="$build/tools/idioms.tsv"
mkdir -p "$build/tools"
if [ ! -f "$table" ] || [ -n "$(find "$here/extract.js" "$here/idiom_text.js" "$here/package.json" -newer "$table")" ]; then
    node "$here/extract.js" "$table"
fi

if [ ! -f "$build/CMakeCache.txt" ]; then
    cmake -S "$here/../.." -B "$build" -G Ninja
fi
cmake --build "$build" --target build_idiom_db
builder="$build/tools/build_idiom_db"
if [ ! -f "$output" ] || [ "$table" -nt "$output" ] || [ "$builder" -nt "$output" ]; then
    "$builder" "$table" "$output"
fi
