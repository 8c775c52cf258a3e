// CPopListWnd: the drop-down window ("VexaRecorder_PopListWnd") that shows what does not fit into
// its owner: the further sound rows and camera boxes of a source panel, the capture formats of a
// camera window. One vertical layout (inset 1, 8, 1, 1, a vertical scroll bar) holds the rows,
// which stay the caller's: the pop-up borrows them and, when it closes, gives them back attached
// to the anchor's window again, so they keep their state for the next pop-up. Enter, Esc and the
// loss of the focus close it; other keys go to the anchor control.
//
// Ownership: with self-deletion on (the default) the object deletes itself once its window is
// gone: create it with new, and after a successful Init hand it over (release the unique_ptr). With
// self-deletion off the caller owns it and may delete it at any time. The anchor control, the host
// window and the rows must outlive the window (destroy the pop-up first).
// Thread-safety: user-interface thread only.
#pragma once

#include <QRect>

#include <span>
#include <string>
#include <string_view>

#include "platform/error.h"
#include "toolkit/container.h"
#include "toolkit/window.h"

namespace vexa::ui {

// What Init adds to the list: sound rows (their row containers) and camera select boxes are
// added; for the caller's rows nothing is added and the caller fills Root() afterwards.
enum class PopItemKind : int { kSoundRows = 0, kCameraBoxes = 1, kCallerRows = 2 };

class CPopListWnd : public toolkit::Window {
  public:
    CPopListWnd();
    ~CPopListWnd() override;

    [[nodiscard]] std::string windowClassName() const override { return "VexaRecorder_PopListWnd"; }

    // Creates the (hidden) window under the anchor: the anchor control's rectangle in its window,
    // or, without one, `anchor_rect` in the client area of `host`. Width = the first item's fixed
    // width + extra width, height = item count × its fixed height + extra height (without items
    // just the extra sizes); fitted to the monitor. `attributes` (may be empty) go to the root
    // layout before the items are added. Fails when there is no host or no window can be made; the
    // caller then deletes the object and shows nothing.
    [[nodiscard]] Error Init(toolkit::Control* anchor, std::span<toolkit::Control* const> items,
                             PopItemKind kind, std::string_view attributes, int extra_width, int extra_height,
                             toolkit::Window* host = nullptr, const QRect& anchor_rect = {});

    void SetSelfDelete(bool on) { self_delete_ = on; }
    // Whether the anchor control gets the focus back when the pop-up closes.
    void SetFocusReturn(bool on) { focus_return_ = on; }
    // The layout that holds the rows (null before Init).
    [[nodiscard]] toolkit::VerticalLayout* Root() const { return root_; }

  protected:
    bool onCreate() override;
    void onDestroy() override;
    void onFinalMessage() override;
    void onFocusLost() override;
    bool onKey(int key, Qt::KeyboardModifiers modifiers) override;

  private:
    void GiveRowsBack();

    toolkit::Control* anchor_ = nullptr;
    toolkit::Window* host_ = nullptr;
    toolkit::VerticalLayout* root_ = nullptr;
    bool self_delete_ = true;
    bool focus_return_ = true;
};

}  // namespace vexa::ui
