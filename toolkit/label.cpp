#include "toolkit/label.h"

#include "toolkit/paint_manager.h"

#include <QFontMetrics>
#include <QPainter>

namespace vexa::toolkit {

std::optional<int> parseAlignment(std::string_view text) {
    int horizontal = 0;
    int vertical = 0;
    std::size_t pos = 0;
    while (pos < text.size()) {
        const auto end = text.find_first_of(" ,", pos);
        const std::string_view token = text.substr(pos, end == std::string_view::npos ? end : end - pos);
        if (token == "left")
            horizontal = Qt::AlignLeft;
        else if (token == "center")
            horizontal = Qt::AlignHCenter;
        else if (token == "right")
            horizontal = Qt::AlignRight;
        else if (token == "top")
            vertical = Qt::AlignTop;
        else if (token == "vcenter")
            vertical = Qt::AlignVCenter;
        else if (token == "bottom")
            vertical = Qt::AlignBottom;
        else if (!token.empty())
            return std::nullopt;
        if (end == std::string_view::npos) break;
        pos = end + 1;
    }
    if (!horizontal && !vertical) return std::nullopt;
    return (horizontal ? horizontal : Qt::AlignLeft) | (vertical ? vertical : Qt::AlignVCenter);
}

Label::Label() = default;

void Label::setTextColor(const QColor& color) {
    textColor_ = color;
    invalidate();
}

void Label::setDisabledTextColor(const QColor& color) {
    disabledTextColor_ = color;
    invalidate();
}

void Label::setFont(int id) {
    font_ = id;
    invalidate();
}

void Label::setAlignment(int alignment) {
    alignment_ = alignment;
    invalidate();
}

void Label::setTextPadding(const QMargins& padding) {
    textPadding_ = padding;
    invalidate();
}

bool Label::setAttribute(std::string_view name, std::string_view value) {
    if (name == "textcolor" || name == "disabledtextcolor") {
        const auto c = parseColor(value);
        if (!c) return false;
        if (name == "textcolor")
            setTextColor(*c);
        else
            setDisabledTextColor(*c);
    } else if (name == "font") {
        const auto n = parseInt(value);
        if (!n) return false;
        setFont(*n);
    } else if (name == "align" || name == "valign") {
        const auto a = parseAlignment(value);
        if (!a) return false;
        if (name == "valign")
            setAlignment((alignment_ & Qt::AlignHorizontal_Mask) | (*a & Qt::AlignVertical_Mask));
        else
            setAlignment(*a);
    } else if (name == "textpadding") {
        const auto m = parseMargins(value);
        if (!m) return false;
        setTextPadding(*m);
    } else if (name == "endellipsis" || name == "wordbreak" || name == "multiline") {
        const auto b = parseBool(value);
        if (!b) return false;
        (name == "endellipsis" ? endEllipsis_ : wordWrap_) = *b;
        invalidate();
    } else if (name == "showhtml" || name == "autocalcwidth") {
        return parseBool(value).has_value();  // accepted for compatibility; texts are plain
    } else {
        return Control::setAttribute(name, value);
    }
    return true;
}

QColor Label::currentTextColor() const {
    return isEnabled() ? textColor_ : disabledTextColor_;
}

void Label::paintText(QPainter& painter) {
    if (text().empty()) return;
    drawText(painter, currentTextColor());
}

void Label::drawText(QPainter& painter, const QColor& color) {
    const QRect box = rect().marginsRemoved(textPadding_);
    if (box.isEmpty() || !manager()) return;
    const QFont& font = manager()->font(font_);
    painter.setFont(font);
    painter.setPen(color);
    if (wordWrap_) {
        painter.drawText(box, alignment_ | Qt::TextWordWrap, qtext());
    } else if (endEllipsis_) {
        const QString shown = QFontMetrics(font).elidedText(qtext(), Qt::ElideRight, box.width());
        painter.drawText(box, alignment_ | Qt::TextSingleLine, shown);
    } else {
        painter.drawText(box, alignment_ | Qt::TextSingleLine, qtext());
    }
}

Edit::Edit() {
    setBkColor(QColor(0x26, 0x26, 0x26));
    setTextPadding(QMargins(4, 0, 4, 0));
    cursor_ = CursorShape::IBeam;
}

bool Edit::setAttribute(std::string_view name, std::string_view value) {
    if (name == "readonly") {
        const auto b = parseBool(value);
        if (!b) return false;
        readOnly_ = *b;
        return true;
    }
    if (name == "maxchar") {
        const auto n = parseInt(value);
        if (!n || *n < 0) return false;
        maxChar_ = *n;
        return true;
    }
    if (name == "numberonly" || name == "password") return parseBool(value).has_value();
    return Label::setAttribute(name, value);
}

}  // namespace vexa::toolkit
