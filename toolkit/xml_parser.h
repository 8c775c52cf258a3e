// Skin layouts read with Qt's QXmlStreamReader into a plain element tree: tags, attributes in
// document order and child elements (text content is not kept; layouts carry none).
//
// The text is read as strict XML (a UTF-8 byte order mark is skipped); text between elements,
// comments and processing instructions are skipped. A fault is reported with the line it is on.
// Elements nested deeper than 256 levels are refused rather than built.
//
// Thread-safety: pure functions; the resulting tree is a plain value.
#pragma once

#include "platform/error.h"

#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace vexa::toolkit {

struct XmlElement {
    std::string tag;
    std::vector<std::pair<std::string, std::string>> attributes;  // in document order
    std::vector<XmlElement> children;
    int line = 0;  // where the start tag ends, for messages

    [[nodiscard]] const std::string* attribute(std::string_view name) const;
};

// Reads one document. A malformed one is kInvalidArgument naming the document and the line:
// "MainWnd.xml line 12: opening and ending tag mismatch".
[[nodiscard]] Result<XmlElement> parseXml(std::string_view text, std::string_view documentName = "layout");

}  // namespace vexa::toolkit
