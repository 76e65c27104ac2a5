# SPDX-License-Identifier: GPL-3.0-or-later
# Installs the Debian packages Tarvik needs that are not there yet (sourced by the scripts).
BUILD_PACKAGES="cmake ninja-build g++ pkg-config qt6-base-dev libgl-dev fonts-dejavu-core"
TEST_PACKAGES="libgtest-dev libgmock-dev libbenchmark-dev lrzsz socat ser2net clang libclang-rt-14-dev"
# Building the Debian package (CPack, dpkg-shlibdeps) and checking its files.
PACKAGE_PACKAGES="dpkg-dev file lintian desktop-file-utils appstream"
# Installing and running it: a display, a window manager that closes windows as users do.
PACKAGE_CHECK_PACKAGES="xvfb xdotool wmctrl openbox"

install_missing() {
  local missing=() p
  for p in "$@"; do
    dpkg -s "$p" >/dev/null 2>&1 || missing+=("$p")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  local sudo=""
  [ "$(id -u)" -ne 0 ] && sudo="sudo"
  echo "Installing: ${missing[*]}"
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
}
