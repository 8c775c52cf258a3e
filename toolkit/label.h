// Text controls: Label (one line), Text (wrapping), Edit (a read-only text field).
// Thread-safety: user-interface thread only.
#pragma once

#include "toolkit/control.h"

namespace vexa::toolkit {

class Label : public Control {
  public:
    Label();
    [[nodiscard]] std::string_view className() const override { return "Label"; }
    [[nodiscard]] bool isA(std::string_view name) const override {
        return name == "Label" || Control::isA(name);
    }

    [[nodiscard]] const QColor& textColor() const { return textColor_; }
    void setTextColor(const QColor& color);
    void setDisabledTextColor(const QColor& color);
    [[nodiscard]] int font() const { return font_; }
    void setFont(int id);
    // Qt::Alignment flags of the text.
    [[nodiscard]] int alignment() const { return alignment_; }
    void setAlignment(int alignment);
    [[nodiscard]] const QMargins& textPadding() const { return textPadding_; }
    void setTextPadding(const QMargins& padding);

    bool setAttribute(std::string_view name, std::string_view value) override;

  protected:
    void paintText(QPainter& painter) override;
    // Colour for the current state; subclasses add hot, pushed and selected colours.
    [[nodiscard]] virtual QColor currentTextColor() const;
    // Draws `text` (or this control's text) with the label's font, alignment and padding.
    void drawText(QPainter& painter, const QColor& color);

    bool wordWrap_ = false;
    bool endEllipsis_ = false;

  private:
    QColor textColor_{0xE0, 0xE0, 0xE0};
    QColor disabledTextColor_{0x80, 0x80, 0x80};
    int font_ = -1;
    int alignment_ = Qt::AlignLeft | Qt::AlignVCenter;
    QMargins textPadding_;
};

class Text : public Label {
  public:
    Text() { wordWrap_ = true; }
    [[nodiscard]] std::string_view className() const override { return "Text"; }
    [[nodiscard]] bool isA(std::string_view name) const override {
        return name == "Text" || Label::isA(name);
    }
};

class Edit : public Label {
  public:
    Edit();
    [[nodiscard]] std::string_view className() const override { return "Edit"; }
    [[nodiscard]] bool isA(std::string_view name) const override {
        return name == "Edit" || Label::isA(name);
    }
    [[nodiscard]] bool isReadOnly() const { return readOnly_; }
    [[nodiscard]] bool wantsFocus() const override { return isKeyboardEnabled(); }
    // Most characters (not bytes) typing may leave in the field, 0 for no limit. Texts the program
    // sets (a long output folder) are always kept whole.
    [[nodiscard]] int maxChar() const { return maxChar_; }
    bool setAttribute(std::string_view name, std::string_view value) override;

  private:
    bool readOnly_ = true;  // typing is not offered; the field shows what the program sets
    int maxChar_ = 0;
};

// Parses "left vcenter", "center", "right,bottom" into Qt::Alignment flags.
[[nodiscard]] std::optional<int> parseAlignment(std::string_view text);

}  // namespace vexa::toolkit
