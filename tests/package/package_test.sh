#!/usr/bin/env bash
# Builds the Debian package of a built tree with cpack, unpacks it with dpkg -x into a scratch
# folder, runs the unpacked vantor-cli and checks what the package installs.
# Usage: package_test.sh BUILD_DIR SOURCE_DIR VERSION GUI(ON|OFF). Exits 77 (skipped) without the tools.
set -euo pipefail
build="$1" source="$2" version="$3" gui="$4"

for tool in cpack dpkg dpkg-deb dpkg-shlibdeps file; do
  if ! command -v "$tool" >/dev/null 2>&1; then
    echo "SKIP: $tool is not installed (Debian packages cmake, dpkg-dev, file)"
    exit 77
  fi
done

scratch="$(mktemp -d)"
trap 'rm -rf "$scratch"' EXIT
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

arch="$(dpkg --print-architecture)"
if ! cpack --config "$build/CPackConfig.cmake" -G DEB -B "$scratch/pkg" >"$scratch/cpack.log" 2>&1; then
  cat "$scratch/cpack.log"
  echo "FAIL: cpack -G DEB"
  exit 1
fi
deb="$scratch/pkg/vantor_${version}_${arch}.deb"
if [ ! -f "$deb" ]; then
  ls "$scratch/pkg"
  echo "FAIL: no package named $(basename "$deb")"
  exit 1
fi

# The control fields, with the dependencies that dpkg-shlibdeps found.
field() { dpkg-deb --field "$deb" "$1"; }
[ "$(field Package)" = vantor ] || fail "Package is '$(field Package)'"
[ "$(field Version)" = "$version" ] || fail "Version is '$(field Version)'"
[ "$(field Maintainer)" = "Vantor developers" ] || fail "Maintainer is '$(field Maintainer)'"
[ "$(field Section)" = utils ] || fail "Section is '$(field Section)'"
[ "$(field Priority)" = optional ] || fail "Priority is '$(field Priority)'"
field Description | grep -q "vantor-cli" || fail "the description does not name vantor-cli"
depends="$(field Depends)"
echo "Depends: $depends"
for library in libc6 libstdc++6; do
  [[ "$depends" == *"$library"* ]] || fail "Depends lacks $library"
done
if [ "$gui" = ON ]; then
  [[ "$depends" == *libqt6widgets6* ]] || fail "Depends lacks libqt6widgets6"
fi

# Exactly these files, and nothing of the tests, benchmarks or screenshot renderer.
root="$scratch/root"
dpkg -x "$deb" "$root"
expected=(
  usr/bin/vantor-cli
  usr/share/man/man1/vantor-cli.1.gz
)
if [ "$gui" = ON ]; then
  expected+=(
    usr/bin/vantor
    usr/share/applications/org.vantor.Vantor.desktop
    usr/share/metainfo/org.vantor.Vantor.metainfo.xml
    usr/share/icons/hicolor/48x48/apps/org.vantor.Vantor.png
    usr/share/icons/hicolor/128x128/apps/org.vantor.Vantor.png
    usr/share/icons/hicolor/256x256/apps/org.vantor.Vantor.png
    usr/share/icons/hicolor/scalable/apps/org.vantor.Vantor.svg
  )
  # Every language file of the tree, and only those.
  for language in "$source"/lang/*.lng; do
    expected+=("usr/share/vantor/lang/$(basename "$language")")
  done
fi
actual="$(cd "$root" && find . -type f -printf '%P\n' | sort)"
wanted="$(printf '%s\n' "${expected[@]}" | sort)"
if [ "$actual" != "$wanted" ]; then
  diff <(echo "$wanted") <(echo "$actual") || true
  fail "the package's files differ from the list above (< wanted, > packed)"
fi
for size in 48 128 256; do
  icon="$root/usr/share/icons/hicolor/${size}x${size}/apps/org.vantor.Vantor.png"
  if [ -f "$icon" ]; then
    file "$icon" | grep -q "PNG image data, $size x $size" || fail "$(file "$icon")"
  fi
done
for program in vantor vantor-cli; do
  if [ -f "$root/usr/bin/$program" ]; then
    file "$root/usr/bin/$program" | grep -q "ELF" || fail "$program is not an executable"
    file "$root/usr/bin/$program" | grep -q "not stripped" && fail "$program is not stripped"
    if command -v readelf >/dev/null 2>&1 && readelf -d "$root/usr/bin/$program" | grep -q "R.*PATH"; then
      fail "$program carries a library search path"
    fi
  fi
done
# The desktop program finds its language files relative to its own folder.
if [ "$gui" = ON ] && [ ! -f "$root/usr/bin/../share/vantor/lang/EN.lng" ]; then
  fail "no language files at bin/../share/vantor/lang"
fi

# The unpacked command-line program runs: version, a conversion, and back to a listing.
cli="$root/usr/bin/vantor-cli"
[ "$("$cli" --version)" = "vantor-cli $version" ] || fail "--version prints '$("$cli" --version)'"
mkdir "$scratch/out"
if "$cli" convert "$source/examples/house.txt" --out-dir "$scratch/out" >"$scratch/convert.log" 2>&1; then
  objects="$(grep -c '^<SceneObjectGroup>' "$scratch/out/house.xml" || true)"
  records="$(grep -c ': [0-9]*, <' "$source/examples/house.txt" || true)"
  if [ "$objects" -eq 0 ] || [ "$objects" != "$records" ]; then
    fail "house.xml holds $objects objects for $records records"
  fi
  head -n 1 "$scratch/out/house.xml" | grep -q $'^<scene>\r$' || fail "house.xml does not open with <scene>"
  cmp -s -n "$(stat -c %s "$source/examples/house.txt")" "$source/examples/house.txt" "$scratch/out/house.xml_SLbase.txt" ||
    fail "the listing copy does not begin with the listing"
  if "$cli" extract "$scratch/out/house.xml" --out "$scratch/out/copy.xml" >"$scratch/extract.log" 2>&1; then
    copied="$(grep -c ': [0-9]*, <' "$scratch/out/copy.txt" || true)"
    [ "$copied" = "$records" ] || fail "copy.txt holds $copied records for $records"
  else
    cat "$scratch/extract.log"
    fail "the unpacked vantor-cli extract failed"
  fi
else
  cat "$scratch/convert.log"
  fail "the unpacked vantor-cli convert failed"
fi

# The checkers of the desktop entry, the AppStream file and the manual page, where installed.
share="$root/usr/share"
if [ "$gui" = ON ] && command -v desktop-file-validate >/dev/null 2>&1; then
  desktop-file-validate "$share/applications/org.vantor.Vantor.desktop" || fail "desktop-file-validate"
fi
if [ "$gui" = ON ] && command -v appstreamcli >/dev/null 2>&1; then
  appstreamcli validate --no-net "$share/metainfo/org.vantor.Vantor.metainfo.xml" >"$scratch/appstream.log" 2>&1 ||
    { cat "$scratch/appstream.log"; fail "appstreamcli validate"; }
  grep -q "<release version=\"$version\"" "$share/metainfo/org.vantor.Vantor.metainfo.xml" ||
    fail "the metainfo file does not list release $version"
fi
if command -v man >/dev/null 2>&1; then
  MANWIDTH=80 man --warnings -E UTF-8 -l "$share/man/man1/vantor-cli.1.gz" >"$scratch/man.txt" 2>"$scratch/man.err" ||
    fail "man -l could not render the manual page"
  [ ! -s "$scratch/man.err" ] || { cat "$scratch/man.err"; fail "the manual page renders with warnings"; }
  for command in convert extract regions; do
    grep -q "vantor-cli $command" "$scratch/man.txt" || fail "the manual page does not show vantor-cli $command"
  done
fi

if [ "$failures" -ne 0 ]; then
  echo "$failures check(s) failed"
  exit 1
fi
echo "vantor_${version}_${arch}.deb unpacks and runs"
