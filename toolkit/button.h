// Button (sends "click"), Option (selectable, radio groups, "selectchanged") and CheckBox.
// Thread-safety: user-interface thread only.
#pragma once

#include "toolkit/label.h"

namespace vexa::toolkit {

class Button : public Label {
  public:
    Button();
    [[nodiscard]] std::string_view className() const override { return "Button"; }
    [[nodiscard]] bool isA(std::string_view name) const override {
        return name == "Button" || Label::isA(name);
    }
    [[nodiscard]] bool wantsFocus() const override { return isKeyboardEnabled(); }

    [[nodiscard]] bool isHot() const { return hot_; }
    [[nodiscard]] bool isPushed() const { return pushed_; }
    void setNormalImage(std::string image);
    void setHotImage(std::string image);
    void setPushedImage(std::string image);
    void setDisabledImage(std::string image);
    [[nodiscard]] const std::string& normalImage() const { return normalImage_; }
    [[nodiscard]] const std::string& hotImage() const { return hotImage_; }
    [[nodiscard]] const std::string& pushedImage() const { return pushedImage_; }
    [[nodiscard]] const std::string& disabledImage() const { return disabledImage_; }

    bool setAttribute(std::string_view name, std::string_view value) override;
    // Sends "click"; false when disabled or hidden.
    bool activate() override;

  protected:
    void doEvent(ControlEvent& event) override;
    void paintBkColor(QPainter& painter) override;
    void paintStatusImage(QPainter& painter) override;
    [[nodiscard]] QColor currentTextColor() const override;
    // Fade for state images; subclasses dim when disabled.
    [[nodiscard]] virtual int imageFade() const { return 255; }

    bool hot_ = false;
    bool pushed_ = false;

  private:
    std::string normalImage_, hotImage_, pushedImage_, disabledImage_, focusedImage_, foreImage_;
    QColor hotTextColor_, pushedTextColor_, focusedTextColor_, hotBkColor_, pushedBkColor_;
};

class Option : public Button {
  public:
    Option();
    ~Option() override;
    [[nodiscard]] std::string_view className() const override { return "Option"; }
    [[nodiscard]] bool isA(std::string_view name) const override {
        return name == "Option" || Button::isA(name);
    }

    [[nodiscard]] const std::string& group() const { return group_; }
    void setGroup(std::string group);
    [[nodiscard]] bool isSelected() const { return selected_; }
    // Selecting one member of a group deselects the others; "selectchanged" goes out for this
    // option only, and only when `notify` is set and the state changed.
    void setSelected(bool selected, bool notify = true);
    void setSelectedImage(std::string image);
    void setSelectedHotImage(std::string image);

    bool setAttribute(std::string_view name, std::string_view value) override;
    void attach(PaintManager* manager, Control* parent) override;
    bool activate() override;

  protected:
    void paintBkColor(QPainter& painter) override;
    void paintStatusImage(QPainter& painter) override;
    [[nodiscard]] QColor currentTextColor() const override;

  private:
    std::string group_;
    bool selected_ = false;
    std::string selectedImage_, selectedHotImage_;
    QColor selectedTextColor_, selectedBkColor_;
};

// A check box is an option outside any group: a click toggles it.
class CheckBox : public Option {
  public:
    [[nodiscard]] std::string_view className() const override { return "CheckBox"; }
    [[nodiscard]] bool isA(std::string_view name) const override {
        return name == "CheckBox" || Option::isA(name);
    }
    [[nodiscard]] bool isChecked() const { return isSelected(); }
    void setChecked(bool checked, bool notify = true) { setSelected(checked, notify); }
};

}  // namespace vexa::toolkit
