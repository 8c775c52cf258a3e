#!/usr/bin/env bash
# Installs every Debian 12 package the build, the tests and the benchmarks need.
# Idempotent: packages already present are not fetched again, and apt-get update
# runs only when something is missing.
set -euo pipefail

packages=(
  # toolchain and test frameworks
  build-essential cmake ninja-build pkg-config clang clang-format libclang-rt-14-dev
  googletest libgtest-dev libgmock-dev libbenchmark-dev
  # media
  libavcodec-dev libavformat-dev libavutil-dev libswscale-dev libswresample-dev libavfilter-dev
  libavdevice-dev ffmpeg time
  # X11 screen capture
  libx11-dev libxext-dev libxdamage-dev libxfixes-dev libxrandr-dev libxtst-dev
  xvfb x11-utils x11-xserver-utils xdotool
  # desktop services: xcb headers, a private session bus for the file-manager test
  libxcb1-dev dbus-daemon
  # Wayland screen capture (the desktop portal over sd-bus, PipeWire) and its tests: a private
  # PipeWire daemon with its session manager, and the fake portal in Python
  libpipewire-0.3-dev libsystemd-dev pipewire pipewire-bin wireplumber python3-dbus python3-gi
  # sound
  libpulse-dev pulseaudio pulseaudio-utils sox
  # camera
  libv4l-dev v4l-utils
  # online services
  libcurl4-openssl-dev libssl-dev libjsoncpp-dev python3 python3-cryptography
  # user interface
  qt6-base-dev qt6-base-dev-tools libqt6svg6-dev qt6-svg-dev libgl-dev
  fonts-wqy-microhei fontconfig libfontconfig-dev zlib1g-dev libzip-dev zip unzip imagemagick librsvg2-bin
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi
if [ "$(id -u)" -ne 0 ]; then
  echo "install-deps: missing packages (run as root): ${missing[*]}" >&2
  exit 1
fi
export DEBIAN_FRONTEND=noninteractive
apt-get update -q
apt-get install -y -q --no-install-recommends "${missing[@]}"
