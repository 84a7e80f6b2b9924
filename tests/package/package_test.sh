#!/usr/bin/env bash
# Builds the Debian package from a build folder and checks it as a user would meet it:
# its name, its dependencies, the files it unpacks, the desktop entry, the manual pages and
# that the unpacked exporter runs on its own.
# Usage: package_test.sh BUILD_DIR VERSION
set -uo pipefail
build_dir=$1
version=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
fail() {
  echo "FAIL: $*"
  failures=$((failures + 1))
}

source "$(dirname "$0")/make_package.sh"
deb=$(make_package "$build_dir" "$version" "$work") || exit 1

# Dependencies: what the programs link and what they load at run time must be there;
# build-time and test-only packages must not.
depends=$(dpkg-deb -f "$deb" Depends)
echo "Depends: $depends"
info=$(dpkg-deb -I "$deb")
grep -q '^ Depends: ' <<<"$info" || fail "dpkg-deb -I lists no dependencies"
required_depends=(libqt6widgets6 libqt6gui6 libqt6core6 libodbc2 tdsodbc libjpeg62-turbo
  fonts-noto-cjk)
for package in "${required_depends[@]}"; do
  grep -Eq "(^|, )${package}( |,|$)" <<<"$depends" || fail "missing dependency $package"
done
forbidden_depends=('-dev( |,|$)' 'libgtest' 'libgmock' 'postgresql' 'freetds-bin' 'python3'
  'nlohmann' 'qt6-qpa-plugins')
for pattern in "${forbidden_depends[@]}"; do
  grep -Eq -- "$pattern" <<<"$depends" && fail "dependency that the programs do not need: $pattern"
done
[[ $(dpkg-deb -f "$deb" Package) == velmora ]] || fail "package name is not velmora"
[[ $(dpkg-deb -f "$deb" Version) == "$version" ]] || fail "package version is not $version"

root="$work/root"
dpkg -x "$deb" "$root" || fail "dpkg -x failed"
expected_files=(
  usr/bin/velmora
  usr/bin/velmora-export
  usr/share/applications/velmora.desktop
  usr/share/man/man1/velmora.1.gz
  usr/share/man/man1/velmora-export.1.gz
  usr/share/doc/velmora/copyright
  usr/share/doc/velmora/changelog.gz
)
icon_sizes=(16 22 24 32 48 64 128 256)
for size in "${icon_sizes[@]}"; do
  expected_files+=("usr/share/icons/hicolor/${size}x${size}/apps/velmora.png")
done
for file in "${expected_files[@]}"; do
  [[ -f $root/$file ]] || fail "package lacks $file"
done
for program in velmora velmora-export; do
  [[ -x $root/usr/bin/$program ]] || fail "usr/bin/$program is not executable"
done
unwanted=$(cd "$root" && find . -name 'tds-standin*' -o -name '*_tests' -o -name '*.a' \
  -o -name '*.h' -o -name 'MakeInitData.txt')
[[ -z $unwanted ]] || fail "package holds files that are not for users: $unwanted"

# An icon in the wrong size folder is scaled badly or skipped by the desktop.
for size in "${icon_sizes[@]}"; do
  icon="$root/usr/share/icons/hicolor/${size}x${size}/apps/velmora.png"
  [[ -f $icon ]] || continue
  kind=$(file -b "$icon")
  [[ $kind == "PNG image data, $size x $size,"* ]] || fail "icon ${size}x${size} is $kind"
done

entry="$root/usr/share/applications/velmora.desktop"
if [[ -f $entry ]]; then
  desktop-file-validate "$entry" || fail "desktop-file-validate refuses the desktop entry"
  entry_keys=('Name=Velmora' 'Exec=velmora' 'Icon=velmora' 'Terminal=false'
    'Categories=Development;Database;' 'Comment=' 'Comment[zh_CN]=')
  for key in "${entry_keys[@]}"; do
    grep -qF -- "$key" "$entry" || fail "desktop entry lacks $key"
  done
fi

# Each manual page renders without warnings and says what it must.
for page_and_text in velmora-export:VELMORA_PASSWORD velmora:MakeInitData.txt; do
  page="$root/usr/share/man/man1/${page_and_text%%:*}.1.gz"
  [[ -f $page ]] || continue
  warnings=$(man --warnings -l "$page" 2>&1 >/dev/null)
  [[ -z $warnings ]] || fail "manual page warnings in $page: $warnings"
  rendered=$(man -l "$page" 2>/dev/null)
  grep -q "${page_and_text#*:}" <<<"$rendered" ||
    fail "manual page $page does not render or omits ${page_and_text#*:}"
done

# Installed programs must not look for libraries in the build folder.
for program in velmora velmora-export; do
  [[ -f $root/usr/bin/$program ]] || continue
  run_paths=$(readelf -d "$root/usr/bin/$program" | grep -E 'R(UN)?PATH' || true)
  [[ $run_paths != *"$build_dir"* ]] || fail "usr/bin/$program keeps a run path into the build folder"
done

if [[ -x $root/usr/bin/velmora-export ]]; then
  if output=$(cd "$work" && "$root/usr/bin/velmora-export" --version 2>&1); then
    grep -qF "$version" <<<"$output" || fail "velmora-export --version does not show $version: $output"
  else
    fail "unpacked velmora-export --version failed: $output"
  fi
fi

if ((failures)); then
  echo "$failures check(s) failed"
  exit 1
fi
echo "package $(basename "$deb") passed"
