#!/usr/bin/env bash
# Checks that LibreOffice reads the editor's RTF, in two parts.
#
# Formatting: our writer saves a formatted sample, LibreOffice converts it to
# HTML, and that HTML, read by Qt's HTML reader, is compared character by
# character with the sample (text, font, size, bold, italic, underline,
# strike-out, colour, alignment).
#
# Structure: every fixture in tests/rtf/data/richedit, tests/rtf/data/word,
# tests/rtf/data/libreoffice and most of tests/rtf/data/codepages, and the
# sample, is read by our reader and written again by our writer; LibreOffice
# converts both the fixture and our copy to HTML, and the two renderings are
# compared: pictures and their sizes, list items (bulleted or numbered, and
# their level), the cells of each table (a nested table's words count as its
# cell's text: the editor reads them into paragraphs there), link targets,
# headers, footers, footnotes, endnotes and comments with their words, and all
# the words in order, with every word missing or extra. The report shows each
# fixture, what our reader found in it, and what differs.
#
# Needs LibreOffice Writer (Debian: libreoffice-writer-nogui), which CI does
# not install; run as root with apt, the script installs it itself.
# tests/rtf/data/libreoffice/lo_lists_tables.rtf and lo_notes.rtf were made
# from the .fodt files beside them with, for example:
#   soffice --headless --convert-to rtf lo_notes.fodt
set -euo pipefail
cd "$(dirname "$0")/.."
if ! command -v soffice >/dev/null; then
    if [ "$(id -u)" = 0 ] && command -v apt-get >/dev/null; then
        echo "soffice not found: installing libreoffice-writer-nogui"
        apt-get update -qq
        DEBIAN_FRONTEND=noninteractive apt-get install -y -qq libreoffice-writer-nogui >/dev/null
    else
        echo "soffice not found: install LibreOffice Writer to run this check" \
            "(Debian: apt-get install libreoffice-writer-nogui)" >&2
        exit 2
    fi
fi
generator=()
[ -f build/CMakeCache.txt ] || generator=(-G Ninja)
cmake -S . -B build "${generator[@]}" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVMR_BUILD_TESTS=ON >/dev/null
cmake --build build --target rtf_interop
interop=build/tests/rtf/rtf_interop
export QT_QPA_PLATFORM=offscreen

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir "$work/orig" "$work/ours"
mkdir -m 700 "$work/runtime"
export XDG_RUNTIME_DIR="$work/runtime"
# A profile of its own, so that the user's LibreOffice neither interferes nor
# is touched. Each batch has a folder of its own, as the pictures that go with
# an HTML file are named after it and after their bytes.
to_html() {
    local outdir=$1
    shift
    HOME="$work" timeout 600 soffice "-env:UserInstallation=file://$work/profile" --headless \
        --convert-to 'html:HTML (StarWriter)' --outdir "$outdir" "$@" >/dev/null 2>&1 || true
}

names=(sample)
$interop sample "$work/orig/sample.rtf"
# The two Japanese pages are left out: LibreOffice splits a character whose
# second byte is an escaped brace or backslash (it reads 日本語 as 日 語),
# where our copy, written as Unicode, reads right.
for f in tests/rtf/data/richedit/*.rtf tests/rtf/data/word/*.rtf tests/rtf/data/libreoffice/*.rtf \
    tests/rtf/data/codepages/{big5,gbk,korean,mac_cyrillic}.rtf; do
    name="$(basename "$(dirname "$f")")-$(basename "$f" .rtf)"
    cp "$f" "$work/orig/$name.rtf"
    names+=("$name")
done
for name in "${names[@]}"; do
    $interop roundtrip "$work/orig/$name.rtf" "$work/ours/$name.rtf" >"$work/$name.read" 2>&1 || true
done
to_html "$work/orig-html" "$work/orig"/*.rtf
to_html "$work/ours-html" "$work/ours"/*.rtf

status=0
echo "== formatting of the sample"
if [ ! -s "$work/orig-html/sample.html" ]; then
    echo "LibreOffice did not convert the sample"
    status=1
elif ! $interop check "$work/orig-html/sample.html"; then
    status=1
fi

differ=()
skipped=()
for name in "${names[@]}"; do
    echo
    echo "== structure of ${name/-//}.rtf"
    cat "$work/$name.read"
    a="$work/orig-html/$name.html"
    b="$work/ours-html/$name.html"
    # A fixture that LibreOffice cannot open (one of damaged input) has
    # nothing to compare with.
    if [ ! -s "$a" ]; then
        echo " skipped: LibreOffice does not open the fixture itself"
        skipped+=("${name/-//}")
        continue
    fi
    if [ ! -s "$b" ]; then
        echo " DIFFERS: LibreOffice opens the fixture but not our round trip"
        differ+=("${name/-//}")
        continue
    fi
    echo " LibreOffice's rendering, of the fixture and of our round trip:"
    $interop compare "$a" "$b" || differ+=("${name/-//}")
done

echo
echo "structure: ${#names[@]} fixtures, $((${#names[@]} - ${#differ[@]} - ${#skipped[@]}))" \
    "the same, ${#skipped[@]} skipped${skipped[*]:+ (${skipped[*]})}," \
    "${#differ[@]} differ${differ[*]:+: ${differ[*]}}"
[ ${#differ[@]} -eq 0 ] || status=1
exit $status
