#!/bin/bash
# The Windows installer under Wine, as a technician uses it (make test-windows runs it in its prefix):
#   tests/wine/msi-round-trip.sh WINDOWS_BUILD VERSION
# - the archive holds hlx.exe and its documents in one folder;
# - hlx.exe is stripped and carries its version resource (product, version, company);
# - msiexec /i installs it under Program Files, and a new shell finds `hlx` on the PATH;
# - msiexec /x removes the files, the folder, the PATH entry and the entry in the list of programs.
# Needs WINEPREFIX set and its wineserver running. Exits 1 at the first failure, saying what failed.
set -u
windows_build=$1
version=$2
msi=$windows_build/hlx-service-tool-$version-x64.msi
zip=$windows_build/hlx-service-tool-$version-windows-x64.zip
folder="$WINEPREFIX/drive_c/Program Files/HLX Service Tool"
environment_key='HKLM\System\CurrentControlSet\Control\Session Manager\Environment'
uninstall_key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall'

fail() {
    echo "msi-round-trip: FAILED: $*" >&2
    exit 1
}
# What a new console prints for a command, as text with LF line ends.
in_new_shell() { wine cmd /c "$1" </dev/null 2>/dev/null | tr -d '\r'; }
system_path() { wine reg query "$environment_key" /v PATH </dev/null 2>/dev/null | tr -d '\r'; }

[ -f "$msi" ] || fail "no installer $msi (make windows builds it)"
[ -f "$zip" ] || fail "no archive $zip (make windows builds it)"
documents=(README.txt NEWS.txt THIRD-PARTY-NOTICES.txt job-report.schema.json)

listing=$(unzip -Z1 "$zip")
for file in hlx.exe "${documents[@]}"; do
    grep -qx "hlx-service-tool-$version/$file" <<<"$listing" || fail "the archive lacks $file: $listing"
done
for notice in CLI11 nlohmann-json '{fmt}' 'GCC Runtime Library Exception' winpthreads; do
    unzip -p "$zip" "hlx-service-tool-$version/THIRD-PARTY-NOTICES.txt" | grep -q "$notice" ||
        fail "THIRD-PARTY-NOTICES.txt does not name $notice"
done

exe=$windows_build/cli/hlx.exe
x86_64-w64-mingw32-nm "$exe" 2>&1 | grep -q 'no symbols' || fail "hlx.exe is not stripped"
resource=$(strings -el "$exe")
for value in 'ProductName' 'HLX Service Tool' 'CompanyName' 'Quendal' 'ProductVersion' "$version"; do
    grep -qx "$value" <<<"$resource" || fail "hlx.exe's version resource lacks '$value'"
done
echo "msi-round-trip: archive complete, hlx.exe stripped with its version resource"

path_before=$(system_path)
wine msiexec /i "$(winepath -w "$msi")" /qn </dev/null >/dev/null 2>&1 || fail "msiexec /i exited with $?"
[ -f "$folder/hlx.exe" ] || fail "msiexec /i put no hlx.exe into $folder"
for file in "${documents[@]}"; do
    [ -f "$folder/$file" ] || fail "msiexec /i put no $file into $folder"
done
system_path | grep -qi 'C:\\Program Files\\HLX Service Tool' || fail "the PATH does not name the folder: $(system_path)"
out=$(in_new_shell "hlx --version")
[ "$out" = "hlx $version" ] || fail "a new shell does not find hlx on the PATH: '$out'"
grep -rqs 'HLX Service Tool' <(wine reg query "$uninstall_key" /s </dev/null 2>/dev/null) ||
    fail "the list of programs does not name HLX Service Tool"
echo "msi-round-trip: msiexec /i installed hlx.exe in Program Files, a new shell runs 'hlx --version'"

wine msiexec /x "$(winepath -w "$msi")" /qn </dev/null >/dev/null 2>&1 || fail "msiexec /x exited with $?"
[ ! -e "$folder" ] || fail "msiexec /x left $(ls -A "$folder" | tr '\n' ' ') in $folder"
# The PATH as it was (Wine's msiexec leaves the separator it added at the end: ';' alone).
[ "$(system_path | sed 's/;$//')" = "$(sed 's/;$//' <<<"$path_before")" ] ||
    fail "the PATH is not as before: $(system_path)"
out=$(in_new_shell "hlx --version")
[ "$out" != "hlx $version" ] || fail "a new shell still finds hlx"
grep -rqs 'HLX Service Tool' <(wine reg query "$uninstall_key" /s </dev/null 2>/dev/null) &&
    fail "the list of programs still names HLX Service Tool"
echo "msi-round-trip: msiexec /x removed the files, the folder, the PATH entry and the program's entry"
