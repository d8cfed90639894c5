#!/usr/bin/env bash
# Brings a Debian 12 machine to the state where Tessary builds, runs and tests.
# Idempotent: when everything is present it only checks and returns within
# seconds, and then needs neither root nor sudo.
set -euo pipefail

QWT_PREFIX="${QWT_PREFIX:-/opt/tessary-qwt}"
SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi

# Real package names only: dpkg never reports a name that another package
# merely provides as installed, so such a name would be installed on every run.

PACKAGES=(
  build-essential cmake ninja-build ccache pkg-config dpkg-dev debian-archive-keyring
  qt6-base-dev qt6-base-dev-tools qt6-tools-dev qt6-tools-dev-tools qt6-svg-dev
  qt6-documentation-tools libqt6opengl6-dev libgl-dev
  libhdf5-dev hdf5-tools zlib1g-dev
  libopencv-dev
  libarmadillo-dev libopenblas-dev
  libgtest-dev libgmock-dev googletest libbenchmark-dev
  xvfb xauth xdotool x11-utils imagemagick fonts-dejavu-core
  # The sources a test builds a decimal-comma locale from.
  locales
)

# The Debian archive this machine already installs from: the first URI of a
# deb822 entry for a release suite, else of the first plain "deb" line.
debian_mirror() {
  local f uri
  for f in /etc/apt/sources.list.d/*.sources; do
    [ -f "$f" ] || continue
    uri=$(awk 'BEGIN { RS = ""; FS = "\n" }
      {
        types = ""; suites = ""; uris = ""
        for (i = 1; i <= NF; i++) {
          if ($i ~ /^Types:/) types = $i
          if ($i ~ /^Suites:/) suites = $i
          if ($i ~ /^URIs:/) { uris = $i; sub(/^URIs:[ \t]*/, "", uris) }
        }
        if (types ~ /[: \t]deb([ \t]|$)/ && suites !~ /-security/ && uris != "") {
          split(uris, u, /[ \t]+/); print u[1]; exit
        }
      }' "$f")
    if [ -n "$uri" ]; then echo "$uri"; return; fi
  done
  if [ -f /etc/apt/sources.list ]; then
    sed -E -n '/^[[:space:]]*deb[[:space:]]/{/-security/d; s/^[[:space:]]*deb[[:space:]]+(\[[^]]*\][[:space:]]+)?([^[:space:]]+).*/\2/p}' \
      /etc/apt/sources.list | head -n 1
  fi
}

# Whether dpkg counts the package as usable: one of its instances (a package
# can be installed for several architectures) is installed, held or not, or
# installed with triggers pending, which dpkg counts as satisfying
# dependencies. Half-installed, unpacked, half-configured, triggers-awaited
# and config-files instances do not count.
package_usable() {
  local state
  while read -r state; do
    case "$state" in
      installed | triggers-pending) return 0 ;;
    esac
  done < <(dpkg-query -W -f='${db:Status-Status}\n' "$1" 2>/dev/null)
  return 1
}

# Fills the array "missing" with the listed packages that are not usable.
find_missing() {
  missing=()
  local p
  for p in "${PACKAGES[@]}"; do
    package_usable "$p" || missing+=("$p")
  done
}

find_missing
if [ "${#missing[@]}" -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
  # A name apt accepts but dpkg never counts as installed would otherwise be
  # installed again on every later run: stop here and name it.
  find_missing
  if [ "${#missing[@]}" -gt 0 ]; then
    echo "These packages are still not installed: ${missing[*]}" >&2
    exit 1
  fi
fi

# Qwt for Qt 6 is not packaged for Debian 12: build the upstream release that
# Debian's own source package carries, once per machine, into a fixed prefix.
if [ ! -f "$QWT_PREFIX/lib/libqwt-qt6.so" ] && [ ! -f "$QWT_PREFIX/lib/libqwt.so" ]; then
  echo "Building Qwt for Qt 6 into $QWT_PREFIX"
  srclist=/etc/apt/sources.list.d/tessary-sid-src.sources
  if [ ! -f "$srclist" ]; then
    mirror=$(debian_mirror)
    if [ -z "$mirror" ]; then
      echo "No Debian archive found in the machine's apt sources" >&2
      exit 1
    fi
    $SUDO tee "$srclist" >/dev/null <<SRC
Types: deb-src
URIs: $mirror
Suites: sid
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg
SRC
    $SUDO apt-get update -qq
  fi
  work=$(mktemp -d)
  ( cd "$work" && apt-get source --download-only qwt/sid >/dev/null 2>&1 || true )
  tarball=$(ls "$work"/qwt_*.orig.tar.* 2>/dev/null | head -n 1 || true)
  if [ -z "$tarball" ]; then
    echo "Could not download the Qwt source package" >&2
    exit 1
  fi
  tar -xf "$tarball" -C "$work"
  qwtsrc=$(find "$work" -maxdepth 1 -mindepth 1 -type d -name 'qwt*' | head -n 1)
  cfg="$qwtsrc/qwtconfig.pri"
  sed -i -E "s|^(\s*QWT_INSTALL_PREFIX\s*=).*|\1 $QWT_PREFIX|" "$cfg"
  sed -i -E 's|^(\s*QWT_CONFIG\s*\+=\s*QwtDesigner)|#\1|; s|^(\s*QWT_CONFIG\s*\+=\s*QwtExamples)|#\1|; s|^(\s*QWT_CONFIG\s*\+=\s*QwtPlayground)|#\1|; s|^(\s*QWT_CONFIG\s*\+=\s*QwtTests)|#\1|; s|^(\s*QWT_CONFIG\s*\+=\s*QwtOpenGL)|#\1|; s|^(\s*QWT_CONFIG\s*\+=\s*QwtPolar)|#\1|' "$cfg"
  ( cd "$qwtsrc" && qmake6 qwt.pro >/dev/null && make -s -j"$(nproc)" >/dev/null && $SUDO make -s install >/dev/null )
  rm -rf "$work"
fi
echo "Dependencies are in place (Qwt in $QWT_PREFIX)."
