#include "toolkit/xml_parser.h"

#include <cstdint>

namespace vexa::toolkit {

const std::string* XmlElement::attribute(std::string_view name) const {
    for (const auto& [key, value] : attributes) {
        if (key == name) return &value;
    }
    return nullptr;
}

namespace {

constexpr int kMaxDepth = 256;  // deeper nesting is refused rather than risking the stack

void appendUtf8(std::string& out, std::uint32_t cp) {
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

std::optional<std::uint32_t> numericReference(std::string_view body) {
    if (body.size() < 2 || body[0] != '#') return std::nullopt;
    const bool hex = body[1] == 'x' || body[1] == 'X';
    const std::string_view digits = body.substr(hex ? 2 : 1);
    if (digits.empty() || digits.size() > 8) return std::nullopt;
    std::uint32_t value = 0;
    for (char c : digits) {
        int d = -1;
        if (c >= '0' && c <= '9')
            d = c - '0';
        else if (hex && c >= 'a' && c <= 'f')
            d = c - 'a' + 10;
        else if (hex && c >= 'A' && c <= 'F')
            d = c - 'A' + 10;
        if (d < 0) return std::nullopt;
        value = value * (hex ? 16 : 10) + static_cast<std::uint32_t>(d);
    }
    if (value == 0 || value > 0x10FFFF) return std::nullopt;
    return value;
}

class Parser {
  public:
    explicit Parser(std::string_view text) : text_(text) {}

    std::optional<XmlElement> document(std::string* error) {
        skipMisc();
        auto root = element(0);
        if (root) {
            skipMisc();
            if (pos_ != text_.size()) fail("content after the root element");
        }
        if (!error_.empty()) {
            if (error) *error = error_ + " at offset " + std::to_string(pos_);
            return std::nullopt;
        }
        return root;
    }

  private:
    std::string_view text_;
    std::size_t pos_ = 0;
    std::string error_;

    bool fail(const std::string& why) {
        if (error_.empty()) error_ = why;
        return false;
    }
    std::nullopt_t refuse(const std::string& why) {
        fail(why);
        return std::nullopt;
    }
    bool startsWith(std::string_view s) const { return text_.substr(pos_, s.size()) == s; }
    bool atEnd() const { return pos_ >= text_.size(); }
    static bool isSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }
    static bool isNameChar(char c) {
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' ||
               c == '-' || c == '.' || c == ':' || static_cast<unsigned char>(c) >= 0x80;
    }
    void skipSpace() {
        while (!atEnd() && isSpace(text_[pos_])) ++pos_;
    }
    bool skipPast(std::string_view terminator) {
        const auto found = text_.find(terminator, pos_);
        if (found == std::string_view::npos) return fail("unterminated construct");
        pos_ = found + terminator.size();
        return true;
    }
    // Byte-order mark, declarations, comments, processing instructions and white space.
    void skipMisc() {
        if (pos_ == 0 && startsWith("\xEF\xBB\xBF")) pos_ = 3;
        for (;;) {
            skipSpace();
            if (startsWith("<?")) {
                if (!skipPast("?>")) return;
            } else if (startsWith("<!--")) {
                if (!skipPast("-->")) return;
            } else if (startsWith("<!")) {
                if (!skipPast(">")) return;
            } else {
                return;
            }
        }
    }
    std::string name() {
        const std::size_t start = pos_;
        while (!atEnd() && isNameChar(text_[pos_])) ++pos_;
        return std::string(text_.substr(start, pos_ - start));
    }
    bool attribute(XmlElement& element) {
        std::string key = name();
        if (key.empty()) return fail("expected an attribute name");
        skipSpace();
        if (atEnd() || text_[pos_] != '=') return fail("expected '=' after " + key);
        ++pos_;
        skipSpace();
        if (atEnd() || (text_[pos_] != '"' && text_[pos_] != '\'')) return fail("expected a quoted value");
        const char quote = text_[pos_++];
        const auto close = text_.find(quote, pos_);
        if (close == std::string_view::npos) return fail("unterminated attribute value");
        element.attributes.emplace_back(std::move(key), decodeXmlEntities(text_.substr(pos_, close - pos_)));
        pos_ = close + 1;
        return true;
    }
    std::optional<XmlElement> element(int depth) {
        if (depth > kMaxDepth) return refuse("elements nested too deeply");
        if (atEnd() || text_[pos_] != '<') return refuse("expected an element");
        ++pos_;
        XmlElement result;
        result.tag = name();
        if (result.tag.empty()) return refuse("expected an element name");
        for (;;) {
            skipSpace();
            if (startsWith("/>")) {
                pos_ += 2;
                return result;
            }
            if (startsWith(">")) {
                ++pos_;
                break;
            }
            if (atEnd() || !attribute(result)) return refuse("unterminated start tag");
        }
        if (!children(result, depth)) return std::nullopt;
        return result;
    }
    // Children up to the matching end tag.
    bool children(XmlElement& parent, int depth) {
        for (;;) {
            const auto lt = text_.find('<', pos_);
            if (lt == std::string_view::npos) return fail("missing end tag </" + parent.tag + ">");
            pos_ = lt;
            if (startsWith("<!--")) {
                if (!skipPast("-->")) return false;
            } else if (startsWith("<![CDATA[")) {
                if (!skipPast("]]>")) return false;
            } else if (startsWith("<?")) {
                if (!skipPast("?>")) return false;
            } else if (startsWith("</")) {
                pos_ += 2;
                if (name() != parent.tag) return fail("mismatched end tag for <" + parent.tag + ">");
                skipSpace();
                if (atEnd() || text_[pos_] != '>') return fail("unterminated end tag");
                ++pos_;
                return true;
            } else {
                auto child = element(depth + 1);
                if (!child) return false;
                parent.children.push_back(std::move(*child));
            }
        }
    }
};

}  // namespace

std::string decodeXmlEntities(std::string_view raw) {
    std::string out;
    out.reserve(raw.size());
    for (std::size_t i = 0; i < raw.size(); ++i) {
        const auto semi = raw[i] == '&' ? raw.find(';', i) : std::string_view::npos;
        if (semi == std::string_view::npos || semi - i > 12) {
            out += raw[i];
            continue;
        }
        const std::string_view body = raw.substr(i + 1, semi - i - 1);
        if (body == "amp")
            out += '&';
        else if (body == "lt")
            out += '<';
        else if (body == "gt")
            out += '>';
        else if (body == "quot")
            out += '"';
        else if (body == "apos")
            out += '\'';
        else if (auto cp = numericReference(body))
            appendUtf8(out, *cp);
        else {
            out += raw[i];
            continue;
        }
        i = semi;
    }
    return out;
}

std::optional<XmlElement> parseXml(std::string_view text, std::string* error) {
    Parser parser(text);
    return parser.document(error);
}

}  // namespace vexa::toolkit
