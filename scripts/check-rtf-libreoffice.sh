#!/usr/bin/env bash
# Checks that LibreOffice reads the editor's RTF with its text and formatting:
# our writer saves a formatted sample, LibreOffice converts it to HTML, and
# that HTML, read by Qt's HTML reader, is compared character by character with
# the sample (text, font, size, bold, italic, underline, strike-out, colour,
# alignment). Needs LibreOffice Writer (e.g. libreoffice-writer-nogui), which
# CI does not install.
set -euo pipefail
cd "$(dirname "$0")/.."
if ! command -v soffice >/dev/null; then
    echo "soffice not found: install LibreOffice Writer to run this check" >&2
    exit 2
fi
generator=()
[ -f build/CMakeCache.txt ] || generator=(-G Ninja)
cmake -S . -B build "${generator[@]}" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVMR_BUILD_TESTS=ON >/dev/null
cmake --build build --target rtf_interop

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
build/tests/rtf/rtf_interop sample "$work/sample.rtf"
# A profile of its own, so that the user's LibreOffice neither interferes nor
# is touched.
HOME="$work" timeout 300 soffice "-env:UserInstallation=file://$work/profile" --headless \
    --convert-to 'html:HTML (StarWriter)' --outdir "$work" "$work/sample.rtf" >/dev/null 2>&1 || true
if [ ! -s "$work/sample.html" ]; then
    echo "LibreOffice did not convert the sample" >&2
    exit 1
fi
QT_QPA_PLATFORM=offscreen build/tests/rtf/rtf_interop check "$work/sample.html"
