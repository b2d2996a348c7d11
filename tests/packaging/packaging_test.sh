#!/usr/bin/env bash
# packaging_test.sh install|deb BUILD_DIR PROGRAM VERSION
#   install: `cmake --install` into a temporary root holds exactly the
#            expected files, and the validators of the desktop entry, the
#            metainfo, the user unit and the man page pass (each when its
#            tool is present); the man page agrees with --help.
#   deb:     the Debian package holds the same files plus its changelog, has
#            the computed dependencies, passes lintian without errors, and
#            leaves nothing behind when purged from a scratch dpkg root.
set -euo pipefail
check=$1 build=$2 program=$3 version=$4
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }
have() { command -v "$1" >/dev/null 2>&1; }

expected_files() {
  cat <<'LIST'
usr/bin/larkspan
usr/lib/systemd/user/larkspan.service
usr/share/applications/larkspan.desktop
usr/share/doc/larkspan/copyright
usr/share/icons/hicolor/128x128/apps/larkspan.png
usr/share/icons/hicolor/16x16/apps/larkspan.png
usr/share/icons/hicolor/22x22/apps/larkspan.png
usr/share/icons/hicolor/24x24/apps/larkspan.png
usr/share/icons/hicolor/256x256/apps/larkspan.png
usr/share/icons/hicolor/32x32/apps/larkspan.png
usr/share/icons/hicolor/48x48/apps/larkspan.png
usr/share/icons/hicolor/64x64/apps/larkspan.png
usr/share/icons/hicolor/scalable/apps/larkspan.svg
usr/share/man/man1/larkspan.1.gz
usr/share/metainfo/io.github.larkspan.Larkspan.metainfo.xml
LIST
}

same_list() {  # name, expected file, actual file
  if ! diff -u "$2" "$3" >"$work/diff"; then
    fail "$1 differs from the expected files:"
    cat "$work/diff" >&2
  fi
}

check_install() {
  local root=$work/root
  # The prefix is the temporary root itself, so that the unit names a binary
  # that exists there.
  cmake --install "$build" --prefix "$root/usr" >/dev/null
  expected_files >"$work/expected"
  (cd "$root" && find . ! -type d | sed 's|^\./||' | LC_ALL=C sort) >"$work/installed"
  same_list "the install" "$work/expected" "$work/installed"

  local share=$root/usr/share
  for size in 16 22 24 32 48 64 128 256; do
    local png=$share/icons/hicolor/${size}x${size}/apps/larkspan.png
    file "$png" | grep -q "PNG image data, $size x $size" || fail "$png is no $size-pixel PNG"
  done

  if have desktop-file-validate; then
    desktop-file-validate "$share/applications/larkspan.desktop" || fail "desktop-file-validate"
  fi
  if have appstreamcli; then
    appstreamcli validate --no-net "$share/metainfo/"*.metainfo.xml || fail "appstreamcli validate"
  fi
  grep -q "<release version=\"$version\"" "$share/metainfo/"*.metainfo.xml ||
    fail "the metainfo has no release $version"

  local unit=$root/usr/lib/systemd/user/larkspan.service
  grep -qx "ExecStart=$root/usr/bin/larkspan --headless" "$unit" || fail "the unit's ExecStart"
  if have systemd-analyze; then
    mkdir -m 700 "$work/runtime"
    # It only warns about settings it cannot parse: any word from it fails.
    XDG_RUNTIME_DIR=$work/runtime MANPATH=$share/man systemd-analyze --user verify "$unit" \
      >"$work/verify" 2>&1 || fail "systemd-analyze verify"
    [[ ! -s $work/verify ]] || fail "systemd-analyze verify: $(cat "$work/verify")"
  fi

  # The man page: no roff warnings, every option of --help, every exit
  # status, the version.
  local page=$share/man/man1/larkspan.1.gz
  if have groff; then
    zcat "$page" | LC_ALL=C.UTF-8 groff -man -Tutf8 -ww -z 2>"$work/groff"
    [[ ! -s $work/groff ]] || fail "groff warnings: $(cat "$work/groff")"
  fi
  local text
  text=$(zcat "$page" | sed 's/\\-/-/g; s/\\f[BIRP]//g')
  for option in $("$program" --help | grep -o -- '--[a-z-]*\|-h\b' | sort -u); do
    grep -qe "$option" <<<"$text" || fail "the man page lacks $option"
  done
  local statuses
  statuses=$("$program" --help | sed -n 's/^  \([0-9]\)  .*/\1/p')
  [[ -n $statuses ]] || fail "no exit statuses in --help"
  for status in $statuses; do
    sed -n '/^\.SH EXIT STATUS/,/^\.SH/p' <<<"$text" | grep -qx ".B $status" ||
      fail "the man page lacks exit status $status"
  done
  local shown
  shown=$("$program" --version | grep -o '[0-9][0-9.]*[a-z]*$')
  head -n 1 <<<"$text" | grep -qF "$shown" || fail "the man page is not of version $shown"
}

check_deb() {
  have cpack && have dpkg-deb || { echo "no cpack or dpkg-deb: skipped"; return; }
  (cd "$build" && cpack -G DEB -B "$work/deb" >/dev/null)
  local deb
  deb=$(echo "$work"/deb/larkspan_*.deb)
  [[ -f $deb ]] || { fail "no package in $work/deb"; return; }

  { expected_files; echo usr/share/doc/larkspan/changelog.Debian.gz; } | LC_ALL=C sort >"$work/expected"
  dpkg-deb -c "$deb" | awk '$1 !~ /^d/ {print $6}' | sed 's|^\./||' | LC_ALL=C sort >"$work/packaged"
  same_list "the package" "$work/expected" "$work/packaged"

  # dpkg-shlibdeps found the libraries; ffmpeg is recommended.
  dpkg-deb -f "$deb" Depends | grep -q 'libqt6widgets6' || fail "Depends: $(dpkg-deb -f "$deb" Depends)"
  dpkg-deb -f "$deb" Recommends | grep -qw ffmpeg || fail "ffmpeg is not recommended"

  if have lintian; then
    lintian --allow-root "$deb" >"$work/lintian" 2>&1 || true
    cat "$work/lintian"
    ! grep -q '^E:' "$work/lintian" || fail "lintian reports errors"
  fi

  # Install and purge in a scratch dpkg database: nothing may stay behind.
  local root=$work/dpkg-root
  mkdir -p "$root/var/lib/dpkg/info" "$root/var/lib/dpkg/updates"
  touch "$root/var/lib/dpkg/status"
  local dpkg=(dpkg --root="$root" --force-depends --force-not-root --force-script-chrootless
    --log=/dev/null)
  "${dpkg[@]}" -i "$deb" >"$work/dpkg" 2>&1 || { cat "$work/dpkg"; fail "dpkg -i"; }
  [[ -f $root/usr/share/applications/larkspan.desktop ]] || fail "dpkg -i installed no menu entry"
  "${dpkg[@]}" -P larkspan >"$work/dpkg" 2>&1 || { cat "$work/dpkg"; fail "dpkg -P"; }
  (cd "$root" && find . ! -type d ! -path './var/lib/dpkg/*') >"$work/left"
  [[ ! -s $work/left ]] || fail "left after purge: $(cat "$work/left")"
}

"check_$check"
if ((failures)); then exit 1; fi
echo "packaging $check: OK"
