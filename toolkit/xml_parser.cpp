#include "toolkit/xml_parser.h"

#include <QXmlStreamReader>

namespace vexa::toolkit {

const std::string* XmlElement::attribute(std::string_view name) const {
    for (const auto& [key, value] : attributes) {
        if (key == name) return &value;
    }
    return nullptr;
}

namespace {

constexpr std::size_t kMaxDepth = 256;  // deeper nesting is refused rather than built
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
    if (text.starts_with("\xEF\xBB\xBF")) text.remove_prefix(3);  // a byte order mark
    QXmlStreamReader reader(QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())));
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
            element.line = static_cast<int>(reader.lineNumber());
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
        return Error(ErrorCode::kInvalidArgument, std::string(documentName) + " line " +
                                                      std::to_string(reader.lineNumber()) + ": " +
                                                      reason(reader.errorString()));
    }
    return root;
}

}  // namespace vexa::toolkit
