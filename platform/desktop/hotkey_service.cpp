#include "platform/desktop/hotkey_service.h"

#include <poll.h>
#include <pthread.h>
#include <sys/eventfd.h>

#include <X11/XKBlib.h>
#include <X11/Xlib.h>
#include <X11/keysym.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <future>
#include <map>
#include <optional>
#include <set>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

#include "platform/desktop/portal_hotkeys.h"
#include "platform/log/log.h"
#include "platform/screen/screen_backend.h"
#include "platform/screen/x11_connection.h"
#include "platform/sync/spin_lock.h"
#include "platform/thread_annotations.h"
#include "platform/unique_fd.h"

namespace vexa::desktop {
namespace {

// The keys of the settings page's list: a range of virtual-key codes and the keysym of its first.
struct KeyRange {
    uint32_t first_key, last_key;
    KeySym first_keysym;
};
constexpr KeyRange kKeyRanges[] = {
    {0x41, 0x5A, XK_a},       // 'A'..'Z'
    {0x30, 0x39, XK_0},       // '0'..'9'
    {0x70, 0x7B, XK_F1},      // F1..F12
    {0x1B, 0x1B, XK_Escape},  // Esc (taking back a count-down; not on the settings page)
};

KeySym KeysymFor(uint32_t virtual_key) {
    for (const KeyRange& range : kKeyRanges) {
        if (virtual_key >= range.first_key && virtual_key <= range.last_key)
            return range.first_keysym + (virtual_key - range.first_key);
    }
    return NoSymbol;
}

// Modifier texts in the settings page's order.
struct ModifierName {
    uint32_t bit;
    const char* text;
};
constexpr ModifierName kModifierNames[] = {
    {kModControl, "Ctrl+"}, {kModAlt, "Alt+"}, {kModShift, "Shift+"}, {kModWin, "Win+"}};
constexpr uint32_t kAllModifiers = kModAlt | kModControl | kModShift | kModWin;

// One passive grab: a keycode with an exact modifier state.
struct KeyGrab {
    KeyCode keycode = 0;
    unsigned int state = 0;
    friend bool operator==(const KeyGrab&, const KeyGrab&) = default;
};
using KeyGrabs = std::vector<KeyGrab>;

// The grabs of `from` that `without` lacks.
KeyGrabs Minus(const KeyGrabs& from, const KeyGrabs& without) {
    KeyGrabs rest;
    for (const KeyGrab& grab : from) {
        if (std::find(without.begin(), without.end(), grab) == without.end()) rest.push_back(grab);
    }
    return rest;
}

struct Chord {
    uint32_t modifiers = 0;  // the stored modifier bits, as registered
    uint32_t virtual_key = 0;
    KeyCode keycode = 0;           // 0 while the keyboard has no such key (kept, grabbed again later)
    unsigned int x_modifiers = 0;  // X state bits, without locks
    KeyGrabs grabs;                // held for it: the state with and without each lock
};

// How much later than the repeat delay a press of a key we think is held counts as a new press:
// repeats come from the server's own timer, so they are never much later than the delay.
constexpr Time kRepeatSlackMs = 250;

bool IsNewPressOfHeldKey(Time since_last_press_ms, unsigned int repeat_delay_ms,
                         unsigned int repeat_interval_ms) {
    return since_last_press_ms > std::max<Time>(repeat_delay_ms, repeat_interval_ms) + kRepeatSlackMs;
}

}  // namespace

struct HotkeyService::Listener {
    Listener(std::unique_ptr<platform::X11Connection> c, platform::UniqueFd wake_fd, Callback callback)
        : on_hotkey(std::move(callback)), wake(std::move(wake_fd)), connection(std::move(c)) {}

    // Runs task on the listener thread and returns its result; at once when called there.
    Error Call(const std::function<Error()>& task);
    void Wake();
    void Stop();
    void Run();

    // ---- listener thread only ----
    Error Grab(int id, uint32_t modifiers, uint32_t virtual_key);
    void Release(int id);
    void ReadModifierMasks();
    // The chord on the current keymap; nothing when the keyboard lacks the key.
    std::optional<Chord> MakeChord(uint32_t modifiers, uint32_t virtual_key) const;
    // Grabs what `fresh` adds to `held_now` and then releases what it drops, so that a grab both
    // hold never lapses. On refusal nothing changes and the error says why.
    Error Replace(const KeyGrabs& held_now, const KeyGrabs& fresh, const std::string& text);
    void SetGrabs(const KeyGrabs& grabs, bool grab);
    void HandleEvent(XEvent& event);
    void FollowKeymap();
    void ReadRepeatTimes();

    // Set before the thread starts, read-only afterwards.
    const Callback on_hotkey;
    const platform::UniqueFd wake;  // eventfd: a task is queued or the service stops
    std::thread thread;

    // Owned by the listener thread.
    std::unique_ptr<platform::X11Connection> connection;
    std::map<int, Chord> chords;
    // Keys pressed since the last release we saw, with the time of their last press or repeat.
    // XWayland may never send a release (the focus moved while the key was down), so a press of a
    // "held" key that comes later than any repeat could is a new press.
    std::map<KeyCode, Time> held;
    bool detectable_repeat = false;  // the server sends repeats as presses without releases
    unsigned int repeat_delay_ms = 660, repeat_interval_ms = 40;
    unsigned int alt_mask = Mod1Mask;
    unsigned int win_mask = Mod4Mask;
    unsigned int num_lock_mask = 0;

    // Shared by callers and the listener thread.
    platform::SpinLock lock;
    std::vector<std::function<void()>> tasks GUARDED_BY(lock);
    bool stopping GUARDED_BY(lock) = false;
    bool listening GUARDED_BY(lock) = true;
};

Error HotkeyService::Listener::Call(const std::function<Error()>& task) {
    if (std::this_thread::get_id() == thread.get_id()) return task();
    std::promise<Error> done;
    std::future<Error> result = done.get_future();
    {
        platform::SpinGuard guard(lock);
        if (!listening)
            return Error(ErrorCode::kUnavailable, "the hotkey connection to the X display is closed");
        tasks.push_back([&] { done.set_value(task()); });
    }
    Wake();
    return result.get();
}

void HotkeyService::Listener::Wake() {
    // Only a counter at its maximum refuses the write, and such a counter already wakes the thread.
    const uint64_t one = 1;
    [[maybe_unused]] const ssize_t written = write(wake.Get(), &one, sizeof one);
}

void HotkeyService::Listener::Stop() {
    {
        platform::SpinGuard guard(lock);
        stopping = true;
    }
    Wake();
    thread.join();
}

void HotkeyService::Listener::Run() {
    pthread_setname_np(pthread_self(), "hotkeys");
    Display* display = connection->get();
    pollfd fds[2] = {{ConnectionNumber(display), POLLIN, 0}, {wake.Get(), POLLIN, 0}};
    for (;;) {
        std::vector<std::function<void()>> batch;
        bool stop = false;
        {
            platform::SpinGuard guard(lock);
            batch.swap(tasks);
            stop = stopping;
        }
        for (const auto& task : batch) task();
        if (stop || connection->Broken()) break;
        // Requests above may have read events into Xlib's queue, where poll cannot see them.
        while (!connection->Broken() && XPending(display) > 0) {
            XEvent event;
            XNextEvent(display, &event);
            HandleEvent(event);
        }
        if (connection->Broken()) break;
        if (poll(fds, 2, -1) < 0 && errno != EINTR) {
            log::Failure(Error::FromErrno(errno, "cannot wait for hotkeys"));
            break;
        }
        uint64_t count = 0;
        if ((fds[1].revents & POLLIN) && read(wake.Get(), &count, sizeof count) < 0 && errno != EAGAIN) break;
    }
    if (connection->Broken()) {
        log::Failure(Error(ErrorCode::kUnavailable, "the X display closed the connection"),
                     "global hotkeys stopped");
    }
    std::vector<std::function<void()>> late;
    {
        platform::SpinGuard guard(lock);
        listening = false;
        late.swap(tasks);
    }
    for (const auto& task : late) task();  // they fail on the closed connection or run harmlessly
    for (const auto& [id, chord] : chords) SetGrabs(chord.grabs, false);
    if (!connection->Broken()) XFlush(display);
}

void HotkeyService::Listener::ReadModifierMasks() {
    Display* display = connection->get();
    alt_mask = Mod1Mask;
    win_mask = Mod4Mask;
    num_lock_mask = 0;
    XModifierKeymap* map = XGetModifierMapping(display);
    if (!map) return;
    for (int modifier = 0; modifier < 8; ++modifier) {
        for (int k = 0; k < map->max_keypermod; ++k) {
            const KeyCode keycode = map->modifiermap[modifier * map->max_keypermod + k];
            if (keycode == 0) continue;
            const KeySym keysym = XkbKeycodeToKeysym(display, keycode, 0, 0);
            const unsigned int mask = 1u << modifier;
            if (keysym == XK_Num_Lock) num_lock_mask = mask;
            if (modifier >= Mod1MapIndex && (keysym == XK_Alt_L || keysym == XK_Alt_R)) alt_mask = mask;
            if (modifier >= Mod1MapIndex && (keysym == XK_Super_L || keysym == XK_Super_R)) win_mask = mask;
        }
    }
    XFreeModifiermap(map);
}

void HotkeyService::Listener::SetGrabs(const KeyGrabs& grabs, bool grab) {
    Display* display = connection->get();
    const Window root = DefaultRootWindow(display);
    for (const KeyGrab& key : grabs) {
        if (grab) {
            XGrabKey(display, key.keycode, key.state, root, False, GrabModeAsync, GrabModeAsync);
        } else {
            XUngrabKey(display, key.keycode, key.state, root);
        }
    }
}

std::optional<Chord> HotkeyService::Listener::MakeChord(uint32_t modifiers, uint32_t virtual_key) const {
    Chord chord{modifiers, virtual_key, XKeysymToKeycode(connection->get(), KeysymFor(virtual_key)), 0, {}};
    if (chord.keycode == 0) return std::nullopt;
    if (modifiers & kModAlt) chord.x_modifiers |= alt_mask;
    if (modifiers & kModControl) chord.x_modifiers |= ControlMask;
    if (modifiers & kModShift) chord.x_modifiers |= ShiftMask;
    if (modifiers & kModWin) chord.x_modifiers |= win_mask;
    for (unsigned int locks : {0u, unsigned{LockMask}, num_lock_mask, num_lock_mask | LockMask}) {
        const KeyGrab grab{chord.keycode, chord.x_modifiers | locks};
        if (std::find(chord.grabs.begin(), chord.grabs.end(), grab) == chord.grabs.end())
            chord.grabs.push_back(grab);
    }
    return chord;
}

Error HotkeyService::Listener::Replace(const KeyGrabs& held_now, const KeyGrabs& fresh,
                                       const std::string& text) {
    const auto gone = [&] {
        return Error(ErrorCode::kUnavailable, "cannot register hotkey " + text + ": the X display is gone");
    };
    if (connection->Broken()) return gone();
    const KeyGrabs added = Minus(fresh, held_now);
    const uint64_t errors_before = connection->ErrorCount();
    SetGrabs(added, true);
    if (!added.empty() && !connection->SyncWithoutErrors(errors_before)) {
        // The only error XGrabKey can meet here is BadAccess: another client holds the chord.
        // Releasing never touches another client's grab.
        SetGrabs(added, false);
        XFlush(connection->get());
        if (connection->Broken()) return gone();
        return Error(ErrorCode::kBusy, "hotkey " + text + " is taken by another program");
    }
    SetGrabs(Minus(held_now, fresh), false);
    XFlush(connection->get());
    return {};
}

Error HotkeyService::Listener::Grab(int id, uint32_t modifiers, uint32_t virtual_key) {
    const std::string text = ChordText(modifiers, virtual_key);
    std::optional<Chord> chord = MakeChord(modifiers, virtual_key);
    if (!chord) {
        return Error(ErrorCode::kUnsupported,
                     "cannot register hotkey " + text + ": the keyboard has no such key");
    }
    for (const auto& [other_id, other] : chords) {
        if (other_id != id && other.keycode != 0 && other.keycode == chord->keycode &&
            other.x_modifiers == chord->x_modifiers)
            return Error(ErrorCode::kBusy, "hotkey " + text + " is already registered");
    }
    const auto it = chords.find(id);
    const Error error = Replace(it != chords.end() ? it->second.grabs : KeyGrabs{}, chord->grabs, text);
    if (error.ok()) chords[id] = std::move(*chord);
    return error;
}

void HotkeyService::Listener::Release(int id) {
    const auto it = chords.find(id);
    if (it == chords.end()) return;
    SetGrabs(it->second.grabs, false);
    XFlush(connection->get());
    chords.erase(it);
}

void HotkeyService::Listener::ReadRepeatTimes() {
    XkbDescPtr keyboard = XkbGetKeyboard(connection->get(), XkbControlsMask, XkbUseCoreKbd);
    if (!keyboard) return;
    if (keyboard->ctrls) {
        repeat_delay_ms = keyboard->ctrls->repeat_delay;
        repeat_interval_ms = keyboard->ctrls->repeat_interval;
    }
    XkbFreeKeyboard(keyboard, 0, True);
}

// After a keymap change: every chord moves to its key's keycode now; unchanged ones stay as they
// are. A chord whose key the new keymap lacks (a virtual or on-screen keyboard with a small keymap
// came and went) or that another program holds now stays registered without grabs, and the next
// keymap change tries it again: a hotkey the user chose is never dropped for good.
void HotkeyService::Listener::FollowKeymap() {
    for (auto& [id, chord] : chords) {
        std::optional<Chord> fresh = MakeChord(chord.modifiers, chord.virtual_key);
        const std::string text = ChordText(chord.modifiers, chord.virtual_key);
        const Error error =
            fresh ? Replace(chord.grabs, fresh->grabs, text)
                  : Error(ErrorCode::kUnsupported, "the keyboard has no key for hotkey " + text);
        if (error.ok()) {
            if (chord.keycode == 0) log::Info("hotkey " + text + " works again after a keyboard change");
            chord = std::move(*fresh);
            continue;
        }
        log::Failure(error, "the keyboard changed; the hotkey is kept and tried again at the next change");
        SetGrabs(chord.grabs, false);
        chord.grabs.clear();
        chord.keycode = 0;
    }
    XFlush(connection->get());
    ReadRepeatTimes();
    held.clear();
}

void HotkeyService::Listener::HandleEvent(XEvent& event) {
    Display* display = connection->get();
    switch (event.type) {
        case KeyPress: {
            const KeyCode keycode = static_cast<KeyCode>(event.xkey.keycode);
            const auto [it, fresh] = held.try_emplace(keycode, event.xkey.time);
            if (!fresh) {
                const Time last = std::exchange(it->second, event.xkey.time);
                // An auto-repeat of a held key, unless it comes later than a repeat could.
                if (!IsNewPressOfHeldKey(event.xkey.time - last, repeat_delay_ms, repeat_interval_ms)) return;
            }
            const unsigned int pressed = event.xkey.state & (ShiftMask | ControlMask | alt_mask | win_mask);
            const auto match = std::find_if(chords.begin(), chords.end(), [&](const auto& entry) {
                return entry.second.keycode != 0 && entry.second.keycode == keycode &&
                       entry.second.x_modifiers == pressed;
            });
            // Called outside the search: on_hotkey may register or unregister hotkeys.
            if (match != chords.end()) {
                const int id = match->first;
                const uint32_t modifiers = match->second.modifiers;
                on_hotkey(id, modifiers);
            }
            return;
        }
        case KeyRelease: {
            // Without detectable auto-repeat a repeat is a release and a press with the same time.
            // (Only then: synthetic presses may follow a release within the same millisecond.)
            if (!detectable_repeat && XEventsQueued(display, QueuedAfterReading) > 0) {
                XEvent next;
                XPeekEvent(display, &next);
                if (next.type == KeyPress && next.xkey.keycode == event.xkey.keycode &&
                    next.xkey.time == event.xkey.time) {
                    XNextEvent(display, &next);
                    return;
                }
            }
            // Any release ends the hold: the server repeats only the key pressed last, and a key
            // pressed during our grab may be released after it, out of our sight.
            held.clear();
            return;
        }
        case MappingNotify:
            if (event.xmapping.request == MappingPointer) return;
            XRefreshKeyboardMapping(&event.xmapping);
            ReadModifierMasks();
            FollowKeymap();
            return;
        default:
            return;
    }
}

// ---- HotkeyService ----

Result<std::unique_ptr<HotkeyService>> HotkeyService::Open(Callback on_hotkey) {
    const bool wayland = platform::IsWaylandSession();
    if (wayland) {
        Result<std::unique_ptr<HotkeyBackend>> portal = OpenPortalHotkeys(on_hotkey);
        if (portal.ok()) {
            log::Info("global hotkeys: the desktop's GlobalShortcuts portal");
            return std::unique_ptr<HotkeyService>(
                new HotkeyService(nullptr, std::move(portal).value(), true));
        }
        log::Failure(portal.error(),
                     "global hotkeys fall back to X11 grabs, which reach the program only "
                     "while it has the focus");
    }
    Result<std::unique_ptr<platform::X11Connection>> opened = platform::X11Connection::Open(nullptr);
    if (!opened.ok()) {
        log::Failure(opened.error(), "global hotkeys are off");
        return opened.error();
    }
    std::unique_ptr<platform::X11Connection> connection = std::move(opened).value();
    platform::UniqueFd wake(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK));
    if (!wake.Valid()) return Error::FromErrno(errno, "cannot create the hotkey thread's wake-up");
    Bool detectable = False;
    XkbSetDetectableAutoRepeat(connection->get(), True, &detectable);
    auto listener = std::make_unique<Listener>(std::move(connection), std::move(wake), std::move(on_hotkey));
    listener->detectable_repeat = detectable;
    listener->ReadModifierMasks();
    listener->ReadRepeatTimes();
    try {
        listener->thread = std::thread([l = listener.get()] { l->Run(); });
    } catch (const std::system_error& e) {
        return Error::FromErrno(e.code().value(), "cannot start the hotkey thread");
    }
    return std::unique_ptr<HotkeyService>(new HotkeyService(std::move(listener), nullptr, !wayland));
}

HotkeyService::HotkeyService(std::unique_ptr<Listener> listener, std::unique_ptr<HotkeyBackend> portal,
                             bool global)
    : listener_(std::move(listener)), portal_(std::move(portal)), global_(global) {}

HotkeyService::~HotkeyService() {
    if (listener_) listener_->Stop();
}

Error HotkeyService::Register(int id, uint32_t modifiers, uint32_t virtual_key) {
    if (KeysymFor(virtual_key) == NoSymbol) {
        char text[64];
        std::snprintf(text, sizeof text, "key code 0x%X cannot be a hotkey", virtual_key);
        return Error(ErrorCode::kInvalidArgument, text);
    }
    if (modifiers & ~kAllModifiers) return Error(ErrorCode::kInvalidArgument, "unknown hotkey modifier bits");
    if (portal_) {
        const Error bound = portal_->Register(id, modifiers, virtual_key);
        log::Failure(bound);
        return bound;
    }
    const Error error = listener_->Call([&] { return listener_->Grab(id, modifiers, virtual_key); });
    log::Failure(error);
    return error;
}

void HotkeyService::Unregister(int id) {
    if (portal_) return portal_->Unregister(id);
    const Error error = listener_->Call([&] {
        listener_->Release(id);
        return Error{};
    });
    log::Failure(error, "cannot unregister a hotkey");
}

std::string HotkeyService::ChordText(uint32_t modifiers, uint32_t virtual_key) {
    if (KeysymFor(virtual_key) == NoSymbol) return {};
    std::string text;
    for (const ModifierName& name : kModifierNames) {
        if (modifiers & name.bit) text += name.text;
    }
    if (virtual_key == 0x1B) return text + "Esc";
    if (virtual_key >= 0x70) return text + "F" + std::to_string(virtual_key - 0x70 + 1);
    return text + static_cast<char>(virtual_key);
}

}  // namespace vexa::desktop
