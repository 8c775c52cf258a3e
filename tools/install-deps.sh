#!/usr/bin/env bash
# Installs every Debian 12 package the build, the tests and the benchmarks need.
# Idempotent: packages already present are not fetched again, and apt-get update
# runs only when something is missing. Every name is a real package (never one another only
# provides, which dpkg-query never reports as installed), so that a second run, even by a plain
# user, finds nothing missing; CI checks that.
# --wayland-bed adds the Wayland test bed of `make test-wayland-bed` (tools/wayland-bed: sway,
# XWayland, the wlr screen-sharing portal built to share a GPU-less screen, the virtual keyboard's
# build, GStreamer's PipeWire source for the benchmark); --wayland-bed-kde adds the KDE bed of
# `make test-wayland-bed DESKTOP=kde` (kwin_wayland, the KDE portal, the Qt 5 Wayland platform
# it runs on and the QML modules of its share dialog) on top; --wayland-bed-gnome adds the GNOME
# bed of `make test-wayland-bed DESKTOP=gnome` (mutter, the GNOME portal, and the accessibility
# bus through which the tests answer the share dialog). CI does without all three.
set -euo pipefail
wayland_bed=0 wayland_kde=0 wayland_gnome=0
for arg in "$@"; do
  case $arg in
    --wayland-bed) wayland_bed=1 ;;
    --wayland-bed-kde) wayland_bed=1 wayland_kde=1 ;;
    --wayland-bed-gnome) wayland_bed=1 wayland_gnome=1 ;;
    *) echo "usage: $0 [--wayland-bed | --wayland-bed-kde | --wayland-bed-gnome]" >&2; exit 2 ;;
  esac
done

packages=(
  # toolchain and test frameworks
  build-essential cmake ninja-build pkg-config clang clang-format libclang-rt-14-dev
  googletest libgtest-dev libgmock-dev libbenchmark-dev
  # media
  libavcodec-dev libavformat-dev libavutil-dev libswscale-dev libswresample-dev libavfilter-dev
  libavdevice-dev ffmpeg time libyuv-dev
  # X11 screen capture
  libx11-dev libxext-dev libxdamage-dev libxfixes-dev libxrandr-dev libxi-dev libxtst-dev
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
  qt6-base-dev qt6-base-dev-tools qt6-svg-dev libgl-dev qt6-translations-l10n
  # the texts in other languages: msgfmt compiles po/*.po, msgmerge keeps them in step (make po)
  gettext
  # how the windows look on a plain X11 desktop: a compositing manager for the translucency tests,
  # a plain window manager for the desktop screenshots
  xcompmgr openbox
  fonts-wqy-microhei fontconfig libfontconfig-dev zlib1g-dev libzip-dev zip unzip imagemagick librsvg2-bin
  # benchmarks: a second, independent reader of finished recordings (gst-discoverer-1.0)
  gstreamer1.0-plugins-base-apps gstreamer1.0-plugins-good
  # the Debian package (`make package`): man pages from --help, dpkg-shlibdeps, and the checks
  # of tools/check-deb.sh; gio launches the installed desktop entry
  help2man dpkg-dev lintian appstream desktop-file-utils libglib2.0-bin
  # constant-rate recordings: the MLT engine of several video editors reads them back in a test
  melt
)

if [ "$wayland_bed" = 1 ]; then
  packages+=(sway swaybg xwayland xdg-desktop-portal xdg-desktop-portal-wlr dbus-user-session x11-apps
    gstreamer1.0-pipewire gstreamer1.0-tools gstreamer1.0-plugins-base gstreamer1.0-plugins-good
    gstreamer1.0-plugins-ugly libwayland-dev libwayland-bin libxkbcommon-dev grim python3-pil util-linux)
fi
if [ "$wayland_kde" = 1 ]; then
  packages+=(kwin-wayland xdg-desktop-portal-kde qtwayland5 at-spi2-core python3-pyatspi
    plasma-workspace qml-module-qtquick-layouts qml-module-qtquick-controls2 qml-module-org-kde-kirigami2
    qml-module-org-kde-pipewire)
fi
if [ "$wayland_gnome" = 1 ]; then
  packages+=(mutter xdg-desktop-portal-gnome at-spi2-core python3-pyatspi python3-dbus xdotool x11-utils)
fi

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
build_portal() {
  [ "$wayland_bed" = 1 ] || return 0
  bash "$(dirname "$0")/wayland-bed/build-xdpw.sh"
}
if [ ${#missing[@]} -eq 0 ]; then
  build_portal
  exit 0
fi
if [ "$(id -u)" -ne 0 ]; then
  echo "install-deps: missing packages (run as root): ${missing[*]}" >&2
  exit 1
fi
export DEBIAN_FRONTEND=noninteractive
apt-get update -q
apt-get install -y -q --no-install-recommends "${missing[@]}"
build_portal
