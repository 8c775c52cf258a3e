// Slider: a horizontal track with a thumb; sends "valuechanged" on release, and continuously while
// dragging when "imm" is set. Thread-safety: user-interface thread only.
#pragma once

#include "toolkit/control.h"

namespace vexa::toolkit {

class Slider : public Control {
  public:
    Slider();
    [[nodiscard]] std::string_view className() const override { return "Slider"; }
    [[nodiscard]] bool isA(std::string_view name) const override {
        return name == "Slider" || Control::isA(name);
    }
    [[nodiscard]] bool wantsFocus() const override { return isKeyboardEnabled(); }

    [[nodiscard]] int minValue() const { return min_; }
    [[nodiscard]] int maxValue() const { return max_; }
    void setRange(int minimum, int maximum);
    [[nodiscard]] int value() const { return value_; }
    // Clamped into the range; sends nothing.
    void setValue(int value);
    [[nodiscard]] bool isImmediate() const { return immediate_; }
    void setImmediate(bool immediate) { immediate_ = immediate; }
    [[nodiscard]] bool isDragging() const { return dragging_; }
    [[nodiscard]] QRect thumbRect() const;

    bool setAttribute(std::string_view name, std::string_view value) override;

  protected:
    void doEvent(ControlEvent& event) override;
    void paintBkImage(QPainter& painter) override;
    void paintStatusImage(QPainter& painter) override;
    // Fade for every image; a dimmed subclass lowers it while disabled.
    [[nodiscard]] virtual int imageFade() const { return 255; }
    // Fade of the track images (bkimage, foreimage) alone.
    [[nodiscard]] virtual int trackFade() const { return imageFade(); }

  private:
    [[nodiscard]] int valueAt(int x) const;
    void changeTo(int value, bool notifyNow);

    int min_ = 0;
    int max_ = 100;
    int value_ = 0;
    int step_ = 1;
    bool immediate_ = false;
    bool hot_ = false;
    bool dragging_ = false;
    int valueAtPress_ = 0;
    QSize thumbSize_{10, 10};
    std::string foreImage_, thumbImage_, thumbHotImage_, thumbPushedImage_;
};

}  // namespace vexa::toolkit
