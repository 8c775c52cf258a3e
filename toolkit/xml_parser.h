// Skin layouts read with Qt's QXmlStreamReader into a plain element tree: tags, attributes in
// document order and child elements (text content is not kept; layouts carry none).
//
// The layouts have always been read a little more loosely than XML asks. So that every skin keeps
// reading the same, the loose spots are spelt the strict way before Qt reads the text:
//  - tabs and line breaks written inside an attribute value stay in the value (XML makes them spaces);
//  - '&' that begins neither one of the five predefined entities nor a numeric reference to a
//    character XML allows is plain text ("a & b", "&nbsp;" stay as written); "&#X4E2D;" is read
//    like "&#x4E2D;";
//  - '<' inside an attribute value is plain text;
//  - an attribute written twice on one tag keeps its last value;
//  - text between elements, comments and processing instructions are skipped whatever they hold
//    (the XML declaration too, so white space may come before it); a document type declaration
//    ends at its first '>';
//  - the text is UTF-8 whatever the declaration says; invalid bytes read as U+FFFD.
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
