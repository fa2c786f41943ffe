#!/bin/bash
# The installation and the Debian package, checked as Debian's own tools check them:
#   tests/packaging/check-package.sh BUILD_DIR
# (make test runs it after `make package`; it takes about a minute and prints how long it took).
#
# 1. `cmake --install` with DESTDIR into a staging folder: every file in place, the desktop entry
#    accepted by desktop-file-validate, the AppStream metadata by appstreamcli (pedantic, no remark at all,
#    its addresses checked too: only real ones are named) with this version's release, the icon's PNG files
#    of their folder's size, each manual page rendered by man without a warning, the technicians' README,
#    the notices of the libraries compiled into the programs, the record's schema where hlx --help says it
#    is, every program hardened (readelf: PIE, full RELRO, stack protector, fortified calls), and no
#    program with an RPATH or a library from the project's trees.
# 2. The programs started from the staging folder with the source and build trees hidden (a mount
#    namespace lays an empty folder over them): see start-programs.sh.
# 3. The package: its control fields (dependencies from dpkg-shlibdeps, maintainer, description), the
#    same files as the staging folder, the programs started from the extracted package alone, and
#    lintian with neither errors nor warnings, and no hardening remark among its informational ones.
set -u
started=$(date +%s)
build=$(cd "$1" && pwd) || exit 1
here=$(cd "$(dirname "$0")" && pwd)
source_dir=$(cd "$here/../.." && pwd)
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")
work=$(mktemp -d /tmp/hlx-package-test.XXXXXX)
trap 'rm -rf "$work"' EXIT
failures=0

say() { echo "check-package: $*"; }
failed() {
    echo "check-package: FAILED: $*" >&2
    failures=$((failures + 1))
}

# --- 1. the staged installation ---------------------------------------------------------------------
stage=$work/stage
DESTDIR=$stage cmake --install "$build" --prefix /usr --strip >"$work/install.log" 2>&1 ||
    { cat "$work/install.log"; failed "cmake --install"; exit 1; }
say "installed into $stage"

app_id=com.quendal.hlx_service_tool
expected=(
    usr/bin/hlx usr/bin/hlx-service-tool usr/bin/hlx-virtual-monitor
    usr/share/applications/$app_id.desktop
    usr/share/metainfo/$app_id.metainfo.xml
    usr/share/icons/hicolor/scalable/apps/hlx-service-tool.svg
    usr/share/man/man1/hlx.1.gz usr/share/man/man1/hlx-service-tool.1.gz usr/share/man/man1/hlx-virtual-monitor.1.gz
    usr/share/bash-completion/completions/hlx
    usr/share/doc/hlx-service-tool/copyright usr/share/doc/hlx-service-tool/changelog.gz
    usr/share/doc/hlx-service-tool/examples/70-hlx-monitor.rules
    usr/share/doc/hlx-service-tool/README usr/share/doc/hlx-service-tool/job-report.schema.json
)
for size in 16 22 24 32 48 64 128 256; do
    expected+=(usr/share/icons/hicolor/${size}x${size}/apps/hlx-service-tool.png)
done
for file in "${expected[@]}"; do
    [ -f "$stage/$file" ] || failed "$file is not installed"
done

out=$(desktop-file-validate "$stage/usr/share/applications/$app_id.desktop" 2>&1)
[ $? = 0 ] && [ -z "$out" ] && say "desktop-file-validate: no remark" || failed "desktop-file-validate: $out"

metainfo=$stage/usr/share/metainfo/$app_id.metainfo.xml
out=$(appstreamcli validate --pedantic "$metainfo" 2>&1)
if [ $? = 0 ] && ! grep -q '^[EWIP]: ' <<<"$out"; then say "appstreamcli validate --pedantic: no remark"; else failed "appstreamcli: $out"; fi
grep -q "<release version=\"$version\" date=\"[0-9-]*\"" "$metainfo" || failed "the AppStream metadata has no release $version"
# Placeholders stay out of what a user's software centre or apt shows: no made-up web address.
grep -n 'example\.' "$metainfo" && failed "the AppStream metadata names a placeholder address"

# The technicians' README holds what they need; the copyright file names the libraries compiled into the
# programs with their licences' full texts.
doc=$stage/usr/share/doc/hlx-service-tool
for section in 'Reaching a monitor' 'ways to update the firmware' 'What failures mean' 'Exit codes'; do
    grep -q "$section" "$doc/README" || failed "the README has no section '$section'"
done
for notice in 'Files: CLI/\*' 'Files: nlohmann/\*' 'License: BSD-3-clause$' 'License: Expat$' \
    'Neither the name of the University' 'Permission is hereby granted'; do
    grep -q "$notice" "$doc/copyright" || failed "the copyright file lacks '$notice'"
done
# hlx --help names the schema of --report's records where the installation has it.
schema=$("$stage/usr/bin/hlx" flash rtq --help | tr -s ' \n' '  ' | grep -o 'schema: [^ )]*' | cut -d' ' -f2)
[ "$schema" = "$stage/usr/share/doc/hlx-service-tool/job-report.schema.json" ] && [ -f "$schema" ] ||
    failed "hlx flash rtq --help names the schema as '$schema', which is not the installed one"
say "README, notices and the record's schema in place"

# A PNG's width and height are the big-endian words at bytes 16 and 20.
for png in "$stage"/usr/share/icons/hicolor/*x*/apps/hlx-service-tool.png; do
    size=$(basename "$(dirname "$(dirname "$png")")")
    read -r width height < <(od -An -tu1 -j16 -N8 "$png" |
        awk '{ print $1 * 16777216 + $2 * 65536 + $3 * 256 + $4, $5 * 16777216 + $6 * 65536 + $7 * 256 + $8 }')
    [ "${width}x${height}" = "$size" ] || failed "$png is ${width}x${height}, not $size"
done

for page in "$stage"/usr/share/man/man1/*.1.gz; do
    out=$(MANWIDTH=80 man --warnings -l "$page" 2>&1 >/dev/null)
    [ -z "$out" ] || failed "man --warnings -l $(basename "$page"): $out"
    MANWIDTH=80 man -l "$page" 2>/dev/null | grep -q '^NAME' || failed "man -l $(basename "$page") shows no NAME section"
done
say "man pages rendered without warnings"
# The files the pages point the reader to (the udev rule) are where they say.
while read -r path; do
    [ -f "$stage$path" ] || failed "a manual page names $path, which is not installed"
done < <(for page in "$stage"/usr/share/man/man1/*.1.gz; do
    zcat "$page" | sed 's/\\-/-/g' | grep -o '/usr/share/doc/[^ ]*'
done | sort -u)

# Every program hardened as Debian's build flags make it: a position-independent executable, full RELRO
# (GNU_RELRO with every symbol bound at start), the stack protector and fortified C library calls.
for program in "$stage"/usr/bin/*; do
    name=$(basename "$program")
    readelf -h "$program" | grep -q 'Type: *DYN' || failed "$name is not a position-independent executable"
    readelf -l "$program" | grep -q GNU_RELRO || failed "$name has no RELRO segment"
    readelf -d "$program" | grep -q 'FLAGS.*\bNOW\b' || failed "$name is not bound at start (-z now)"
    symbols=$(readelf --dyn-syms --wide "$program")
    grep -q '__stack_chk_fail' <<<"$symbols" || failed "$name has no stack protector"
    grep -q '__[a-z_]*_chk@' <<<"$symbols" || failed "$name calls no fortified function"
done
say "every program hardened: PIE, full RELRO, stack protector, fortified calls"

# The programs must not look into the project's trees: no RPATH or RUNPATH at all, and every library
# they need resolved outside the trees.
for program in "$stage"/usr/bin/*; do
    readelf -d "$program" | grep -E 'RPATH|RUNPATH' && failed "$(basename "$program") has a library search path"
    libraries=$(ldd "$program")
    grep -E "not found|$source_dir|$build" <<<"$libraries" && failed "$(basename "$program") needs libraries from elsewhere"
done

# Runs start-programs.sh on the installation below $1 with the source and build trees hidden behind
# empty folders, so that nothing from there can be read, or in plain sight where no mount namespace can
# be made (then only the checks above keep the trees out).
start_programs() {
    local root=$1 runner=$work/start-programs.sh
    cp "$here/start-programs.sh" "$runner"
    local hide='for dir in "$@"; do [ -d "$dir" ] || continue; mount -t tmpfs -o size=1m,mode=0755 hlx-hidden "$dir" || exit 99; done
                exec bash "$RUNNER" "$ROOT" "$VERSION"'
    local namespace=(unshare --mount --propagation private)
    [ "$(id -u)" = 0 ] || namespace=(unshare --map-root-user --mount --propagation private)
    if "${namespace[@]}" true 2>/dev/null; then
        RUNNER=$runner ROOT=$root VERSION=$version "${namespace[@]}" sh -c "$hide" hide "$source_dir" "$build"
    else
        say "no mount namespace here: the project's trees stay visible while the programs run"
        bash "$runner" "$root" "$version"
    fi
}
start_programs "$stage" || failed "the programs from the staging folder"

# --- 2. the package ---------------------------------------------------------------------------------
debs=("$build"/hlx-service-tool_"$version"_*.deb)
deb=${debs[0]}
if [ ! -f "$deb" ]; then
    failed "no package $build/hlx-service-tool_${version}_*.deb (make package builds it)"
else
    say "package $(basename "$deb")"
    fields=$(dpkg-deb --field "$deb")
    grep -q '^Depends: .*libqt6widgets6 (>= ' <<<"$fields" || failed "Depends lacks what dpkg-shlibdeps finds: $fields"
    grep -q '^Depends: .*qt6-qpa-plugins' <<<"$fields" || failed "Depends lacks the Qt platform plugins"
    grep -q '^Maintainer: .* <.*@.*>$' <<<"$fields" || failed "no Maintainer field: $fields"
    grep -q '^Description: .\+' <<<"$fields" || failed "no Description: $fields"
    dpkg-deb --ctrl-tarfile "$deb" | tar -xO ./postinst | grep -E 'usermod|adduser|gpasswd|chgrp|chmod' |
        grep -v '^ *echo' && failed "the postinst changes groups or permissions"

    unpacked=$work/unpacked
    dpkg-deb -x "$deb" "$unpacked"
    diff <(cd "$stage" && find . -type f | sort) <(cd "$unpacked" && find . -type f | sort) >"$work/files.diff" ||
        failed "the package and the installation hold other files: $(cat "$work/files.diff")"
    start_programs "$unpacked" || failed "the programs from the extracted package"

    # lintian refuses nothing to root but says it is not recommended; that line is not a finding.
    out=$(lintian -I --fail-on error,warning --pedantic "$deb" 2>&1)
    code=$?
    grep -v 'running with root privileges' <<<"$out"
    [ $code = 0 ] && say "lintian: no error or warning" || failed "lintian found errors or warnings"
    grep -q 'hardening-' <<<"$out" && failed "lintian finds a program not hardened"
fi

seconds=$(($(date +%s) - started))
if [ $failures = 0 ]; then
    say "installation and package passed in $seconds s"
else
    say "$failures failures in $seconds s"
    exit 1
fi
