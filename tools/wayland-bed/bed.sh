#!/bin/bash
# bed.sh - headless Wayland screencast test bed (Debian 12):
#   private D-Bus session + XDG_RUNTIME_DIR, pipewire, wireplumber, and
#   DESKTOP=sway (default): headless sway (pixman, 1280x720, red background, Xwayland),
#     xdg-desktop-portal-wlr (chooser_type=none) and xdg-desktop-portal;
#   DESKTOP=kde: kwin_wayland --virtual --xwayland (1280x720), xdg-desktop-portal-kde and
#     xdg-desktop-portal;
#   DESKTOP=gnome: mutter --headless --wayland (a 1280x720 virtual monitor, Xwayland),
#     xdg-desktop-portal-gnome and xdg-desktop-portal.
# usage: bed.sh CMD [ARGS...]  - brings the bed up, runs CMD inside it, tears it all down,
#                                exits with CMD's status. Without CMD it prints the env and exits.
# Packages: `tools/install-deps.sh --wayland-bed` (it also runs build-xdpw.sh once, which makes
# /usr/local/libexec/xdpw-shm).
# Working folder ($BED): a new one per run (mktemp under $TMPDIR or /tmp), so that two beds never
# share or wipe each other's; it is removed after a run whose CMD passed and kept (its path is
# printed) after a failure. BED=DIR names an empty or missing folder to use instead; it is kept.
# As root it runs the bed as user $BED_USER (created) in its own PID namespace (unshare).
set -u
self=$(realpath "$0")
BED_USER=${BED_USER:-wlbed}

# sway 1.7 refuses to start as root ("Unable to drop root ... refusing to start"), so as root
# make an unprivileged user and re-run this script as that user.
if [ "$(id -u)" = 0 ]; then
    id "$BED_USER" >/dev/null 2>&1 || useradd --create-home --shell /bin/bash "$BED_USER" || exit 1
    own=0
    if [ -z "${BED:-}" ]; then
        BED=$(mktemp -d "${TMPDIR:-/tmp}/wayland-bed.XXXXXX") || exit 1
        own=1
    else
        mkdir -p "$BED" || exit 1
        [ -z "$(ls -A "$BED")" ] || { echo "bed: $BED is not empty" >&2; exit 1; }
    fi
    chmod 755 "$BED"; chown "$BED_USER:" "$BED"
    # Stale Xwayland locks and sockets of an earlier bed that was SIGKILLed. Every running bed
    # holds a shared lock, so they are swept only when no other bed is up (a running bed's
    # display must survive).
    exec {lockfd}>>"${TMPDIR:-/tmp}/wayland-bed.lock"
    sweep() {
        flock -xn "$lockfd" || return 0
        find /tmp /tmp/.X11-unix -maxdepth 1 \( -name '.X*-lock' -o -name 'X[0-9]*' \) \
             -user "$BED_USER" -delete 2>/dev/null
        flock -s "$lockfd"
    }
    sweep
    flock -s "$lockfd"
    # Own PID namespace: when unshare ends (normally, or killed) the kernel kills everything
    # the bed started, double-forked helpers (swaybg, bus-activated xdg-permission-store,
    # wl-copy) included.
    unshare --pid --fork --kill-child --mount-proc \
        runuser -u "$BED_USER" -- env BED="$BED" XDPW="${XDPW:-}" GNOME_MONITOR="${GNOME_MONITOR:-}" DESKTOP="${DESKTOP:-sway}" PATH=/usr/bin:/bin "$self" "$@" {lockfd}>&- &
    UNS=$!
    trap 'kill -TERM $UNS 2>/dev/null' TERM INT HUP
    while :; do wait $UNS; rc=$?; kill -0 $UNS 2>/dev/null || break; done
    sweep
    if [ "$own" = 1 ] && [ "$rc" = 0 ]; then rm -rf "$BED"; elif [ "$own" = 1 ]; then
        echo "bed: kept $BED (logs in $BED/log, results in $BED/out)" >&2; fi
    exit $rc
fi

if [ -z "${BED_INNER:-}" ]; then
    if [ -z "${BED:-}" ]; then BED=$(mktemp -d "${TMPDIR:-/tmp}/wayland-bed.XXXXXX") || exit 1; fi
    mkdir -p "$BED/run" "$BED/home" "$BED/config/xdg-desktop-portal-wlr" "$BED/log" "$BED/out"
    chmod 700 "$BED/run"
    export BED BED_INNER=1
    # dbus-run-session: private session bus, killed when the inner script exits
    exec dbus-run-session -- "$self" "$@"
fi

export XDG_RUNTIME_DIR=$BED/run HOME=$BED/home XDG_CONFIG_HOME=$BED/config
export XDG_STATE_HOME=$BED/home/.local/state XDG_DATA_HOME=$BED/home/.local/share
export XDG_CACHE_HOME=$BED/home/.cache
export XDG_CURRENT_DESKTOP=sway XDG_SESSION_TYPE=wayland XDG_SESSION_DESKTOP=sway
unset DISPLAY WAYLAND_DISPLAY SWAYSOCK
L=$BED/log
PIDS=()

descendants() {  # all descendant PIDs of $1
    local c
    for c in $(ps -o pid= --ppid "$1" 2>/dev/null); do echo "$c"; descendants "$c"; done
}
cleanup() {
    local rc=$? i p left
    # 1. what we started, newest first
    for ((i = ${#PIDS[@]} - 1; i >= 0; i--)); do kill -TERM "${PIDS[i]}" 2>/dev/null; done
    # 2. bus-activated helpers (xdg-permission-store, xdg-document-portal, ...) are children
    #    of the private dbus-daemon, which is our sibling under dbus-run-session
    local daemon
    daemon=$(ps -o pid= --ppid "$PPID" | tr -d ' ' | grep -vx "$$" | head -1)
    sleep 0.5
    left="$(descendants $$) $( [ -n "$daemon" ] && descendants "$daemon")"
    for p in $left; do
        [ "$p" = "$BASHPID" ] && continue
        grep -q '^ps\b' /proc/$p/comm 2>/dev/null && continue
        kill -TERM "$p" 2>/dev/null
    done
    sleep 0.5
    for p in "${PIDS[@]}" $left; do kill -KILL "$p" 2>/dev/null; done
    exit $rc
}
trap cleanup EXIT
trap 'exit 130' INT TERM

wait_for() {  # wait_for SECONDS TEST-COMMAND...
    local t=$(( $1 * 10 )); shift
    while ! "$@" 2>/dev/null; do
        t=$((t - 1)); [ $t -le 0 ] && { echo "bed: timeout waiting for: $*" >&2; return 1; }
        sleep 0.1
    done
}
has_name() {
    dbus-send --session --print-reply --dest=org.freedesktop.DBus / \
        org.freedesktop.DBus.NameHasOwner "string:$1" | grep -q 'boolean true'
}

# --- pipewire + wireplumber ---------------------------------------------------------
pipewire >"$L/pipewire.log" 2>&1 & PIDS+=($!)
wait_for 10 test -S "$XDG_RUNTIME_DIR/pipewire-0" || exit 1
wireplumber >"$L/wireplumber.log" 2>&1 & PIDS+=($!)

start_sway() {
    cat >"$BED/sway.conf" <<'EOF'
xwayland enable
output HEADLESS-1 resolution 1280x720 position 0 0 bg #ff0000 solid_color
default_border none
default_floating_border none
focus_follows_mouse no
for_window [app_id="bedclient"] floating enable, resize set 640 360, move position 0 0
for_window [class="XEyes"] floating enable, resize set 320 320, move position 900 360
for_window [app_id="ffplay"] floating enable, move position 640 0
EOF
    WLR_BACKENDS=headless WLR_LIBINPUT_NO_DEVICES=1 WLR_RENDERER=pixman \
        sway -c "$BED/sway.conf" >"$L/sway.log" 2>&1 & PIDS+=($!)
    SWAY_PID=${PIDS[-1]}
    wait_for 15 eval 'ls "$XDG_RUNTIME_DIR"/sway-ipc.*.sock >/dev/null' || exit 1
    export SWAYSOCK=$(ls "$XDG_RUNTIME_DIR"/sway-ipc.*."$SWAY_PID".sock)
    wait_for 10 eval 'ls "$XDG_RUNTIME_DIR"/wayland-[0-9] >/dev/null' || exit 1
    export WAYLAND_DISPLAY=$(basename "$(ls "$XDG_RUNTIME_DIR"/wayland-[0-9] | head -1)")
    swaymsg -q exec 'echo $DISPLAY > "$XDG_RUNTIME_DIR/xdisplay"'   # Xwayland display (lazy)
    wait_for 5 test -s "$XDG_RUNTIME_DIR/xdisplay" && export DISPLAY=$(cat "$XDG_RUNTIME_DIR/xdisplay")
    dbus-update-activation-environment WAYLAND_DISPLAY SWAYSOCK DISPLAY XDG_CURRENT_DESKTOP \
        XDG_RUNTIME_DIR XDG_CONFIG_HOME HOME
    cat >"$XDG_CONFIG_HOME/xdg-desktop-portal-wlr/config" <<'EOF'
[screencast]
output_name=HEADLESS-1
chooser_type=none
max_fps=30
EOF
    # Stock Debian 12 xdpw 0.7.0 refuses Start() without DMA-BUF, which a pixman sway never offers
    # (xdpw issue #289); build-xdpw.sh makes the one-line-patched /usr/local/libexec/xdpw-shm.
    XDPW=${XDPW:-/usr/local/libexec/xdpw-shm}
    [ -x "$XDPW" ] || { echo "bed: no $XDPW, using stock xdpw (Start will fail)" >&2
                        XDPW=/usr/libexec/xdg-desktop-portal-wlr; }
    "$XDPW" -l DEBUG >"$L/xdpw.log" 2>&1 & PIDS+=($!)
    wait_for 10 has_name org.freedesktop.impl.portal.desktop.wlr || exit 1
    /usr/libexec/xdg-desktop-portal -v >"$L/xdp.log" 2>&1 & PIDS+=($!)
    wait_for 10 has_name org.freedesktop.portal.Desktop || exit 1
}

# KDE Plasma 5.27's compositor on its virtual (headless) backend with XWayland, and the KDE portal
# (ScreenCast through a share dialog, GlobalShortcuts through KWin's kglobalaccel).
start_kde() {
    export XDG_CURRENT_DESKTOP=KDE XDG_SESSION_DESKTOP=KDE KDE_FULL_SESSION=true KDE_SESSION_VERSION=5
    # kwin_wayland carries a file capability (CAP_SYS_RESOURCE) that a container's bounding set
    # may refuse at exec; a copy without it runs the same.
    cp /usr/bin/kwin_wayland "$BED/kwin_wayland"
    # kwin_scripting: a test reads where a window is from a KWin script's print().
    QT_LOGGING_RULES="kwin_scripting.debug=true;kwin_screencast.debug=true" "$BED/kwin_wayland" --virtual --xwayland --width 1280 --height 720 --socket wayland-0 \
        --exit-with-session "$BED/kde-session" >"$L/kwin.log" 2>&1 & PIDS+=($!)
    wait_for 30 test -s "$XDG_RUNTIME_DIR/xdisplay" || { tail -20 "$L/kwin.log" >&2; exit 1; }
    export WAYLAND_DISPLAY=wayland-0 DISPLAY=$(cat "$XDG_RUNTIME_DIR/xdisplay")
    dbus-update-activation-environment WAYLAND_DISPLAY DISPLAY XDG_CURRENT_DESKTOP XDG_SESSION_DESKTOP \
        XDG_RUNTIME_DIR XDG_CONFIG_HOME HOME KDE_FULL_SESSION KDE_SESSION_VERSION
    # The share dialog on the accessibility bus, where a test can answer it.
    QT_QPA_PLATFORM=wayland QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1 QT_ACCESSIBILITY=1 \
        /usr/lib/x86_64-linux-gnu/libexec/xdg-desktop-portal-kde \
        >"$L/xdpk.log" 2>&1 & PIDS+=($!)
    wait_for 20 has_name org.freedesktop.impl.portal.desktop.kde || { tail -20 "$L/xdpk.log" >&2; exit 1; }
    /usr/libexec/xdg-desktop-portal -v >"$L/xdp.log" 2>&1 & PIDS+=($!)
    wait_for 10 has_name org.freedesktop.portal.Desktop || exit 1
}

# GNOME's compositor, mutter 43, headless (software rendering, no DRM device needed) with one
# virtual monitor of 1280x720 and XWayland, and the GNOME portal (ScreenCast through mutter's own
# screen-cast service and a share dialog).
start_gnome() {
    export XDG_CURRENT_DESKTOP=GNOME XDG_SESSION_DESKTOP=gnome
    # The share dialog (GTK 4) on the accessibility bus, where the tests answer it.
    export GTK_A11Y=atspi NO_AT_BRIDGE=0
    # Monitors scale by their logical size (an X11 screen of a scaled monitor is its logical size),
    # as GNOME sets it up on scaled screens: mutter reads it from a settings key file of the bed's.
    mkdir -p "$XDG_CONFIG_HOME/glib-2.0/settings"
    printf "[org/gnome/mutter]\nexperimental-features=['scale-monitor-framebuffer']\n" \
        >"$XDG_CONFIG_HOME/glib-2.0/settings/keyfile"
    GSETTINGS_BACKEND=keyfile mutter --headless --wayland --wayland-display wayland-gnome --virtual-monitor "${GNOME_MONITOR:-1280x720}" \
        --sm-disable -- "$BED/gnome-session" >"$L/mutter.log" 2>&1 & PIDS+=($!)
    wait_for 30 test -s "$XDG_RUNTIME_DIR/xdisplay" || { tail -20 "$L/mutter.log" >&2; exit 1; }
    export WAYLAND_DISPLAY=wayland-gnome DISPLAY=$(cat "$XDG_RUNTIME_DIR/xdisplay") XAUTHORITY=$(cat "$XDG_RUNTIME_DIR/xauth")
    dbus-update-activation-environment WAYLAND_DISPLAY DISPLAY XAUTHORITY XDG_CURRENT_DESKTOP XDG_SESSION_DESKTOP \
        XDG_RUNTIME_DIR XDG_CONFIG_HOME HOME GTK_A11Y
    wait_for 20 has_name org.gnome.Mutter.ScreenCast || { tail -20 "$L/mutter.log" >&2; exit 1; }
    /usr/libexec/xdg-desktop-portal-gnome -v >"$L/xdpg.log" 2>&1 & PIDS+=($!)
    wait_for 20 has_name org.freedesktop.impl.portal.desktop.gnome || { tail -20 "$L/xdpg.log" >&2; exit 1; }
    /usr/libexec/xdg-desktop-portal -v >"$L/xdp.log" 2>&1 & PIDS+=($!)
    wait_for 10 has_name org.freedesktop.portal.Desktop || exit 1
}

case ${DESKTOP:-sway} in
    sway) start_sway ;;
    kde)
        # kwin's session command: says where XWayland is, then stays until the bed ends.
        printf '#!/bin/sh\necho "$DISPLAY" >"%s/xdisplay"\nexec sleep infinity\n' "$XDG_RUNTIME_DIR" >"$BED/kde-session"
        chmod +x "$BED/kde-session"
        start_kde ;;
    gnome)
        # mutter's session command: says where XWayland is, then stays until the bed ends.
        printf '#!/bin/sh\necho "$XAUTHORITY" >"%s/xauth"\necho "$DISPLAY" >"%s/xdisplay"\nexec sleep infinity\n' \
            "$XDG_RUNTIME_DIR" "$XDG_RUNTIME_DIR" >"$BED/gnome-session"
        chmod +x "$BED/gnome-session"
        start_gnome ;;
    *) echo "bed: unknown DESKTOP=$DESKTOP (sway, kde or gnome)" >&2; exit 2 ;;
esac

echo "bed: up  DESKTOP=${DESKTOP:-sway} WAYLAND_DISPLAY=$WAYLAND_DISPLAY DISPLAY=${DISPLAY:-} SWAYSOCK=${SWAYSOCK:-}" \
     "bus=$DBUS_SESSION_BUS_ADDRESS pids=${PIDS[*]}" >&2
export BED_PIDS="${PIDS[*]}"
[ $# -eq 0 ] && exit 0
"$@"
