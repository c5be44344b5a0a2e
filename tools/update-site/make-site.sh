#!/usr/bin/env bash
# Lays out a static update site that a plain web server can serve:
#   <site>/software/zk_version.php     the latest version, no line break
#   <site>/software/zk_liveUpdate.xml  the manifest listing every file
#   <site>/files/<target>              the files themselves
# Usage: make-site.sh <site-folder> <base-url> <version> <run-file> <target>=<source-file>...
# <target> is the path below the application folder; <run-file> is the
# program the updater starts afterwards ("" for the updater's default).
set -euo pipefail
[ $# -ge 4 ] || { echo "usage: $0 site base-url version run-file target=file..." >&2; exit 2; }
site=$1 base=${2%/} version=$3 runfile=$4
shift 4

xml_escape() {
    local s=$1
    s=${s//&/&amp;}; s=${s//</&lt;}; s=${s//>/&gt;}; s=${s//\"/&quot;}
    printf '%s' "$s"
}

mkdir -p "$site/software" "$site/files"
printf '%s' "$version" > "$site/software/zk_version.php"
{
    printf '<?xml version="1.0" encoding="UTF-8"?>\n<UPDATE>\n'
    for pair in "$@"; do
        target=${pair%%=*} source=${pair#*=}
        case "$target" in /*|*..*) echo "refusing target $target" >&2; exit 2 ;; esac
        mkdir -p "$site/files/$(dirname "$target")"
        cp "$source" "$site/files/$target"
        printf '  <FILE SOURCEFILE="%s" TARGETFILE="%s"/>\n' \
            "$(xml_escape "$base/files/$target")" "$(xml_escape "$target")"
    done
    [ -z "$runfile" ] || printf '  <RUNFILE FILE="%s"/>\n' "$(xml_escape "$runfile")"
    printf '</UPDATE>\n'
} > "$site/software/zk_liveUpdate.xml"
