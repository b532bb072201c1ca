# shellcheck shell=bash
# The Debian packages this project needs, and a function that installs the missing ones.
# Sourced by scripts/run and scripts/test:  source scripts/deps.sh; xm_install_missing

# Compilers, libraries and tools for the build and the unit tests.
XM_BUILD_PACKAGES=(
  build-essential cmake pkg-config libgtk-3-dev libwebkit2gtk-4.1-dev libgtest-dev libx11-dev libxtst-dev
  clang libclang-rt-14-dev
)
# What the program needs at run time beyond the libraries above: Chinese fonts, video decoding.
XM_RUN_PACKAGES=(
  fonts-noto-cjk gstreamer1.0-plugins-good gstreamer1.0-plugins-bad gstreamer1.0-libav
)
# Running without a display, and the end-to-end tests.
XM_HEADLESS_PACKAGES=(
  xvfb xauth openbox xdotool x11-utils wmctrl imagemagick python3 python3-pytest ffmpeg
)
XM_PACKAGES=("${XM_BUILD_PACKAGES[@]}" "${XM_RUN_PACKAGES[@]}" "${XM_HEADLESS_PACKAGES[@]}")

# True when the package is installed (not merely known or half-removed).
xm_package_installed() {
  dpkg-query -W -f='${db:Status-Status}' "$1" 2>/dev/null | grep -qx installed
}

# Installs those of the given packages (all of XM_PACKAGES when none are given) that are missing.
# Runs apt-get update once, and only when something is missing. Uses sudo when not root.
xm_install_missing() {
  local wanted=("$@") missing=() pkg
  ((${#wanted[@]})) || wanted=("${XM_PACKAGES[@]}")
  for pkg in "${wanted[@]}"; do
    xm_package_installed "$pkg" || missing+=("$pkg")
  done
  ((${#missing[@]})) || return 0

  local as_root=()
  if ((EUID != 0)); then
    if ! command -v sudo >/dev/null; then
      echo "deps: missing packages (${missing[*]}) and no sudo to install them" >&2
      return 1
    fi
    as_root=(sudo)
  fi
  echo "deps: installing ${missing[*]}" >&2
  "${as_root[@]}" env DEBIAN_FRONTEND=noninteractive apt-get update -q &&
    "${as_root[@]}" env DEBIAN_FRONTEND=noninteractive \
      apt-get install -y -q --no-install-recommends "${missing[@]}"
}
