// A small XML reader for skin layouts: elements, attributes, comments, declarations and the five
// predefined entities plus numeric references. Text content is ignored (layouts carry none).
// Thread-safety: pure functions; the resulting tree is a plain value.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace vexa::toolkit {

struct XmlElement {
    std::string tag;
    std::vector<std::pair<std::string, std::string>> attributes;  // in document order
    std::vector<XmlElement> children;

    [[nodiscard]] const std::string* attribute(std::string_view name) const;
};

// Parses one document; on malformed input returns nothing and describes the fault with its offset.
[[nodiscard]] std::optional<XmlElement> parseXml(std::string_view text, std::string* error = nullptr);

// Replaces entity and character references; unknown references stay as written.
[[nodiscard]] std::string decodeXmlEntities(std::string_view raw);

}  // namespace vexa::toolkit
