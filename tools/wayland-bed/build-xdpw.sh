#!/bin/bash
# build-xdpw.sh - build Debian 12's xdg-desktop-portal-wlr 0.7.0 with SHM-only screencast allowed
# (run as root). Result: $1, default /usr/local/libexec/xdpw-shm (what bed.sh looks for).
set -eu
OUT=${1:-/usr/local/libexec/xdpw-shm}
[ -x "$OUT" ] && { echo "already built: $OUT"; exit 0; }
# Source packages come from the same archive as the binary ones: add deb-src twins of the
# machine's own entries when there are none.
if ! grep -rqs -E '^(Types:.*deb-src|deb-src )' /etc/apt/sources.list /etc/apt/sources.list.d/; then
    for f in /etc/apt/sources.list.d/*.sources; do
        [ -f "$f" ] && sed 's/^Types: deb$/Types: deb-src/' "$f" >"/etc/apt/sources.list.d/src-$(basename "$f")"
    done
    [ -f /etc/apt/sources.list ] && sed -n 's/^deb /deb-src /p' /etc/apt/sources.list >/etc/apt/sources.list.d/src-main.list
    apt-get -o DPkg::Lock::Timeout=600 update -q
fi
W=$(mktemp -d)
apt-get -o DPkg::Lock::Timeout=600 install -y --no-install-recommends dpkg-dev meson ninja-build pkg-config libdrm-dev \
    libinih-dev libgbm-dev libpipewire-0.3-dev libwayland-dev wayland-protocols libsystemd-dev gcc
cd "$W" && apt-get source xdg-desktop-portal-wlr=0.7.0-1 && cd xdg-desktop-portal-wlr-0.7.0
patch -p0 <<'PATCH'
--- src/screencast/screencast.c
+++ src/screencast/screencast.c
@@ -196,9 +196,8 @@
 	wl_display_dispatch(cast->ctx->state->wl_display);
 	wl_display_roundtrip(cast->ctx->state->wl_display);
 
-	if (cast->screencopy_frame_info[WL_SHM].format == DRM_FORMAT_INVALID ||
-			(cast->ctx->state->screencast_version >= 3 &&
-			 cast->screencopy_frame_info[DMABUF].format == DRM_FORMAT_INVALID)) {
+	/* SHM is enough: a pixman (GPU-less) wlroots never sends linux_dmabuf (xdpw #289) */
+	if (cast->screencopy_frame_info[WL_SHM].format == DRM_FORMAT_INVALID) {
 		logprint(INFO, "wlroots: unable to receive a valid format from wlr_screencopy");
 		return -1;
 	}
PATCH
meson setup build --buildtype=release -Dman-pages=disabled >/dev/null
ninja -C build -j2 >/dev/null
mkdir -p "$(dirname "$OUT")"; install -m755 build/xdg-desktop-portal-wlr "$OUT"
rm -rf "$W"; echo "built $OUT"
