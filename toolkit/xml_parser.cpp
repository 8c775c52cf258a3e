#include "toolkit/xml_parser.h"

#include <QXmlStreamReader>

#include <algorithm>
#include <charconv>
#include <cstdint>

namespace vexa::toolkit {

const std::string* XmlElement::attribute(std::string_view name) const {
    for (const auto& [key, value] : attributes) {
        if (key == name) return &value;
    }
    return nullptr;
}

namespace {

constexpr std::size_t kMaxDepth = 256;  // deeper nesting is refused rather than built
constexpr std::string_view kPredefinedEntities[] = {"amp", "lt", "gt", "quot", "apos"};

bool isSpace(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

// Where a name ends: white space or one of the characters that may follow a name in a tag.
bool endsName(char c) {
    return isSpace(c) || c == '=' || c == '/' || c == '>' || c == '"' || c == '\'';
}

// The first position from `pos` on whose byte `stop` accepts, or the text's size.
template <class Stop>
std::size_t scan(std::string_view text, std::size_t pos, Stop stop) {
    while (pos < text.size() && !stop(text[pos])) ++pos;
    return pos;
}

bool isXmlChar(std::uint32_t c) {
    return c == 0x9 || c == 0xA || c == 0xD || (c >= 0x20 && c <= 0xD7FF) || (c >= 0xE000 && c <= 0xFFFD) ||
           (c >= 0x10000 && c <= 0x10FFFF);
}

// Length of the reference that starts `text` ("&amp;", "&#x4E2D;") when XML accepts it, else 0.
std::size_t referenceLength(std::string_view text) {
    const auto semi = text.find(';');
    if (semi == std::string_view::npos || semi > 12) return 0;
    const std::string_view body = text.substr(1, semi - 1);
    if (std::find(std::begin(kPredefinedEntities), std::end(kPredefinedEntities), body) !=
        std::end(kPredefinedEntities))
        return semi + 1;
    if (body.size() < 2 || body[0] != '#') return 0;
    const bool hex = body[1] == 'x' || body[1] == 'X';
    const std::string_view digits = body.substr(hex ? 2 : 1);
    std::uint32_t value = 0;
    const auto [end, ec] =
        std::from_chars(digits.data(), digits.data() + digits.size(), value, hex ? 16 : 10);
    if (digits.empty() || digits.size() > 8 || ec != std::errc() || end != digits.data() + digits.size() ||
        !isXmlChar(value))
        return 0;
    return semi + 1;
}

// The layout text with its loose spots spelt the strict way (see the header), remembering where line
// breaks moved into character references so that errors name the line of the original text.
class StrictSpelling {
  public:
    explicit StrictSpelling(std::string_view in) : in_(in) { run(); }
    [[nodiscard]] const std::string& text() const { return out_; }
    // The original line of a line of text().
    [[nodiscard]] qint64 originalLine(qint64 line) const {
        return line + std::count_if(joined_.begin(), joined_.end(), [&](qint64 at) { return at <= line; });
    }

  private:
    struct Attribute {
        std::string_view name;
        std::size_t begin;    // in out_
        std::size_t end = 0;  // past its closing quote in out_; 0 while the value is to come
        bool equals = false;  // its '=' was seen
    };

    void run() {
        out_.reserve(in_.size() + in_.size() / 16);
        if (in_.starts_with("\xEF\xBB\xBF")) pos_ = 3;
        while (pos_ < in_.size()) {
            const std::string_view rest = in_.substr(pos_);
            if (rest.starts_with("<!--")) {
                skipThrough("-->");
            } else if (rest.starts_with("<?")) {
                skipThrough("?>");  // the XML declaration too: the text is UTF-8 whatever it says
            } else if (rest.starts_with("<![CDATA[")) {
                if (depth_ > 0)
                    skipThrough("]]>");
                else
                    copyThrough("]]>");
            } else if (rest.starts_with("<!")) {
                if (depth_ == 0)
                    skipThrough(">");  // a document type declaration, up to its first '>'
                else
                    copyThrough(">");
            } else if (rest.front() == '<') {
                tag();
            } else {
                textBetweenElements();
            }
        }
    }

    void copy(std::size_t count) {
        const std::string_view chunk = in_.substr(pos_, count);
        out_.append(chunk);
        line_ += std::count(chunk.begin(), chunk.end(), '\n');
        pos_ += chunk.size();
    }

    void copyThrough(std::string_view terminator) {
        const auto end = in_.find(terminator, pos_);
        copy(end == std::string_view::npos ? in_.size() - pos_ : end + terminator.size() - pos_);
    }

    // Drops the text up to `end`, keeping its line breaks.
    void keepLineBreaks(std::size_t end) {
        for (; pos_ < end; ++pos_) {
            if (in_[pos_] == '\n') {
                out_ += '\n';
                ++line_;
            }
        }
    }

    // Comments and processing instructions were always skipped wherever they stand; unterminated,
    // they go to Qt, which reports them.
    void skipThrough(std::string_view terminator) {
        const auto end = in_.find(terminator, pos_);
        if (end == std::string_view::npos)
            copy(in_.size() - pos_);
        else
            keepLineBreaks(end + terminator.size());
    }

    // Outside the root element Qt judges the text; inside, only its line breaks are kept.
    void textBetweenElements() {
        const auto end = std::min(in_.find('<', pos_), in_.size());
        if (depth_ == 0)
            copy(end - pos_);
        else
            keepLineBreaks(end);
    }

    void tag() {
        const bool closing = in_.substr(pos_).starts_with("</");
        copy(scan(in_, std::min(pos_ + (closing ? 2 : 1), in_.size()), endsName) - pos_);  // '<' and the name
        attributes_.clear();
        while (pos_ < in_.size()) {
            const char c = in_[pos_];
            if (c == '>') {
                const bool empty = in_[pos_ - 1] == '/';
                copy(1);
                if (closing)
                    depth_ = std::max(depth_ - 1, 0);
                else if (!empty)
                    ++depth_;
                return;
            }
            const bool open = !attributes_.empty() && attributes_.back().end == 0;  // its value is to come
            if (c == '=') {
                if (open) attributes_.back().equals = true;
                copy(1);
            } else if (c == '"' || c == '\'') {
                value(c);
                if (open && attributes_.back().equals) keepLastOfName();
            } else if (endsName(c)) {
                copy(1);
            } else {
                if (open) attributes_.pop_back();  // a name without a value: Qt reports it
                const auto end = scan(in_, pos_, endsName);
                attributes_.push_back({in_.substr(pos_, end - pos_), out_.size()});
                copy(end - pos_);
            }
        }
    }

    // The value just written ends the newest attribute; an earlier one of the same name goes.
    void keepLastOfName() {
        Attribute& newest = attributes_.back();
        newest.end = out_.size();
        for (auto it = attributes_.begin(); it + 1 != attributes_.end(); ++it) {
            if (it->name != newest.name) continue;
            const std::size_t length = it->end - it->begin;
            out_.erase(it->begin, length);
            for (auto later = it + 1; later != attributes_.end(); ++later) {
                later->begin -= length;
                later->end -= length;
            }
            attributes_.erase(it);
            return;
        }
    }

    void value(char quote) {
        copy(1);
        const auto special = [quote](char c) {
            return c == quote || c == '&' || c == '<' || c == '\t' || c == '\r' || c == '\n';
        };
        while (pos_ < in_.size()) {
            copy(scan(in_, pos_, special) - pos_);
            if (pos_ >= in_.size()) return;
            const char c = in_[pos_];
            if (c == quote) {
                copy(1);
                return;
            }
            if (c == '&') {
                reference();
                continue;
            }
            ++pos_;
            if (c == '<') {
                out_ += "&lt;";
            } else if (c == '\t') {
                out_ += "&#9;";
            } else if (c == '\r') {
                out_ += "&#13;";
            } else {
                out_ += "&#10;";
                joined_.push_back(line_);
            }
        }
    }

    void reference() {
        const std::size_t length = referenceLength(in_.substr(pos_));
        if (length == 0) {
            out_ += "&amp;";
            ++pos_;
        } else if (in_.substr(pos_).starts_with("&#X")) {
            out_ += "&#x";
            pos_ += 3;
            copy(length - 3);
        } else {
            copy(length);
        }
    }

    std::string_view in_;
    std::size_t pos_ = 0;
    std::string out_;
    qint64 line_ = 1;  // line of the end of out_
    int depth_ = 0;
    std::vector<qint64> joined_;         // line of out_ of every line break spelt as a reference
    std::vector<Attribute> attributes_;  // of the tag being written
};

std::string utf8(QStringView text) {
    const QByteArray bytes = text.toUtf8();
    return std::string(bytes.constData(), static_cast<std::size_t>(bytes.size()));
}

// Qt's "Opening and ending tag mismatch." as "opening and ending tag mismatch".
std::string reason(const QString& qtMessage) {
    std::string text = utf8(qtMessage);
    if (!text.empty() && text.back() == '.') text.pop_back();
    if (!text.empty() && text[0] >= 'A' && text[0] <= 'Z' &&
        !(text.size() > 1 && text[1] >= 'A' && text[1] <= 'Z'))
        text[0] = static_cast<char>(text[0] - 'A' + 'a');
    return text;
}

}  // namespace

Result<XmlElement> parseXml(std::string_view text, std::string_view documentName) {
    const StrictSpelling strict(text);
    QXmlStreamReader reader(
        QString::fromUtf8(strict.text().data(), static_cast<qsizetype>(strict.text().size())));
    reader.setNamespaceProcessing(false);
    std::vector<XmlElement> open;  // the elements whose end tag is still to come
    XmlElement root;
    while (!reader.atEnd()) {
        const auto token = reader.readNext();
        if (token == QXmlStreamReader::StartElement) {
            if (open.size() > kMaxDepth) {
                reader.raiseError(QStringLiteral("elements nested too deeply"));
                break;
            }
            XmlElement& element = open.emplace_back();
            element.tag = utf8(reader.qualifiedName());
            element.line = static_cast<int>(strict.originalLine(reader.lineNumber()));
            const QXmlStreamAttributes attributes = reader.attributes();
            element.attributes.reserve(static_cast<std::size_t>(attributes.size()));
            for (const QXmlStreamAttribute& a : attributes)
                element.attributes.emplace_back(utf8(a.qualifiedName()), utf8(a.value()));
        } else if (token == QXmlStreamReader::EndElement) {
            XmlElement done = std::move(open.back());
            open.pop_back();
            if (open.empty())
                root = std::move(done);
            else
                open.back().children.push_back(std::move(done));
        }
    }
    if (reader.hasError()) {
        return Error(ErrorCode::kInvalidArgument,
                     std::string(documentName) + " line " +
                         std::to_string(strict.originalLine(reader.lineNumber())) + ": " +
                         reason(reader.errorString()));
    }
    return root;
}

}  // namespace vexa::toolkit
