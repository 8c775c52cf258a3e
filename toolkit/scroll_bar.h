// ScrollBar: the vertical bar of a scrolling container, which owns it. It reports new positions to
// its container through a callback. Thread-safety: user-interface thread only.
#pragma once

#include "toolkit/control.h"

namespace vexa::toolkit {

class ScrollBar : public Control {
  public:
    ScrollBar();
    [[nodiscard]] std::string_view className() const override { return "ScrollBar"; }
    [[nodiscard]] bool isA(std::string_view name) const override {
        return name == "ScrollBar" || Control::isA(name);
    }

    void setRange(int range, int page);
    [[nodiscard]] int range() const { return range_; }
    [[nodiscard]] int position() const { return pos_; }
    void setPosition(int pos);
    void onScroll(std::function<void(int)> callback) { onScroll_ = std::move(callback); }
    [[nodiscard]] int barWidth() const { return fixedWidth() > 0 ? fixedWidth() : 8; }

    bool setAttribute(std::string_view name, std::string_view value) override;

  protected:
    void doEvent(ControlEvent& event) override;
    void paintStatusImage(QPainter& painter) override;

  private:
    [[nodiscard]] QRect thumbRect() const;
    void scrollTo(int pos);

    int range_ = 0;  // largest position
    int page_ = 0;   // visible extent
    int pos_ = 0;
    bool hot_ = false;
    bool dragging_ = false;
    int dragStartY_ = 0;
    int dragStartPos_ = 0;
    QColor thumbColor_{0x5A, 0x5A, 0x5A};
    QColor thumbHotColor_{0x78, 0x78, 0x78};
    QColor thumbPushedColor_{0x90, 0x90, 0x90};
    std::function<void(int)> onScroll_;
};

}  // namespace vexa::toolkit
