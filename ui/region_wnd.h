// CRegionWnd ("Screen_Region_Wnd"): the always-on-top frame around the region of the screen that
// a screen recording records. Before recording the user moves the region by its marks and label
// and resizes it by its edges and corners, over a frozen picture of the screen, with a magnifier
// at the dragged point; the close button in the label hides the frame. While recording it is a
// thin red frame drawn by four thin windows along its sides, which every click passes through and
// which never take the focus: nothing of it lies over the recorded inside. The frame's windows are
// unmanaged (no window manager moves or focuses them), so they sit where the region is.
// It reports through its callback: kRegionChanged (0) whenever the region is set to another value
// or dragged, kDragBegins (1) and kDragEnded (2) around a drag.
// Ownership: created once by the record page and kept for the page's life; hiding never destroys
// it. Thread-safety: user-interface thread only.
#pragma once

#include <QImage>
#include <QRegion>

#include <array>
#include <memory>

#include "platform/error.h"
#include "toolkit/window.h"
#include "ui/region_drawing.h"
#include "ui/region_frame_picture.h"
#include "ui/region_geometry.h"

namespace vexa::ui {

// One side of the frame while recording.
class CRegionEdgeWnd : public toolkit::Window {
  public:
    [[nodiscard]] std::string windowClassName() const override { return "Screen_Region_Edge_Wnd"; }
};

class CRegionWnd : public toolkit::Window {
  public:
    explicit CRegionWnd(region::RegionCallback callback);
    ~CRegionWnd() override;

    // Creates the frame window (hidden, topmost, no taskbar entry) owned by `owner`, for a primary
    // screen of `screen` pixels, around the whole screen until SetRegion.
    [[nodiscard]] Error Create(toolkit::Window* owner, QSize screen);

    // Normalises the rectangle (inside the screen, at least 100 x 100); a region other than the
    // current one is taken and reported. Redraws in any case.
    void SetRegion(const settings::Rect& rect);
    [[nodiscard]] settings::Rect Region() const { return region::ToRect(region_); }
    [[nodiscard]] bool IsFullScreen() const { return region::IsFullScreen(region_, screen_); }
    // Places the label (and during a drag the magnifier) anew and updates the window.
    void Redraw();
    // Recording: a 3-pixel red frame without label, drawn by the four side windows; idle: the
    // 6-pixel grey frame with its handles in this window. Redraws; a shown frame stays shown.
    void SetRecordingStyle(bool recording);
    [[nodiscard]] int Thickness() const { return thickness_; }
    // Shows the frame above other windows (while recording its four sides), or hides it.
    void ShowTopMost();
    void HideFrame();
    [[nodiscard]] bool FrameShown() const { return shown_; }
    // The side windows while recording (top, bottom, left, right); null before the first recording.
    [[nodiscard]] const CRegionEdgeWnd* Edge(int side) const { return edges_[side].get(); }
    // The primary screen changed size: a drag ends and the region is fitted to the new screen.
    void OnDisplayChange(QSize screen);

    [[nodiscard]] bool Dragging() const { return dragging_; }
    // The label box and, during a drag, the magnifier box on the screen (empty when not shown).
    [[nodiscard]] QRect LabelBox() const { return view_.label; }
    [[nodiscard]] QRect MagnifierBox() const { return view_.magnifier; }

    [[nodiscard]] std::string windowClassName() const override { return "Screen_Region_Wnd"; }

  protected:
    bool onMouse(const toolkit::MouseInput& input) override;
    bool onKey(int key, Qt::KeyboardModifiers modifiers) override;
    void onTimer(int id) override;
    void onPaint(QPainter& painter, const QRect& dirty) override;
    // The handles are drawn for the compositor's presence: drawn again when it comes or goes.
    void onCompositorChanged(bool compositor) override;

  private:
    void Report(int code);
    void BeginDrag(toolkit::HitTest kind, QPoint screen_point);
    void DragTo(QPoint screen_point);
    void EndDrag();
    void FreezeScreen();
    void UpdateView();
    void RedrawIdle();
    void RedrawDrag();
    void RedrawEdges();
    void UpdateCursor(QPoint screen_point);
    [[nodiscard]] region::FrameArt Art();

    region::RegionCallback callback_;
    region::RegionPainter painter_;
    QSize screen_;
    QRect region_;
    int thickness_ = 6;
    region::FrameView view_;
    QRect window_box_;  // the window's place on the screen
    QImage picture_;    // what the window shows, in window coordinates
    bool recording_ = false;
    bool shown_ = false;
    std::array<std::unique_ptr<CRegionEdgeWnd>, 4> edges_;

    // Drag state.
    bool dragging_ = false;
    toolkit::HitTest drag_kind_ = toolkit::HitTest::Client;
    QPoint press_;
    QRect start_region_;
    QPoint dragged_point_;
    QImage frozen_;  // the screen at the drag's start; null until taken or when it failed
    bool frozen_ready_ = false;
    QRegion drawn_;  // where the frame was drawn over the frozen screen
};

}  // namespace vexa::ui
