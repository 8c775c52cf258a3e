// The skin: layouts and images read from a ZIP archive in memory, with decoded images and read
// layouts cached per archive. `embeddedSkin()` is the archive linked into the program at build time.
// Thread-safety: open on any thread; layout() is safe everywhere, image() and layoutElements() only
// on the user-interface thread (the caches are not locked).
#pragma once

#include "toolkit/xml_parser.h"
#include "toolkit/zip_archive.h"

#include <QImage>

#include <memory>
#include <optional>
#include <span>
#include <string>
#include <unordered_map>
#include <vector>

namespace vexa::toolkit {

class SkinArchive {
  public:
    // Errors name the skin archive and the fault ("skin archive: not a ZIP archive").
    [[nodiscard]] static Result<std::shared_ptr<SkinArchive>> open(std::span<const std::uint8_t> bytes);
    [[nodiscard]] static Result<std::shared_ptr<SkinArchive>> openCopy(std::vector<std::uint8_t> bytes);
    // The archive linked into the program; kNotFound when the build embedded none.
    [[nodiscard]] static Result<std::shared_ptr<SkinArchive>> openEmbedded();

    // A layout's text ("MainWnd.xml"): kNotFound when the skin has none of that name, kIo when its
    // entry is damaged ("skin archive: entry 'MainWnd.xml' is damaged (CRC mismatch)").
    [[nodiscard]] Result<std::string> layout(const std::string& name) const;
    // The same layout read into elements, once per archive: windows and rows built again reuse it.
    [[nodiscard]] Result<std::shared_ptr<const XmlElement>> layoutElements(const std::string& name);
    // A decoded image, looked up by path and then by file name alone; null when absent or undecodable.
    [[nodiscard]] const QImage* image(const std::string& file);
    [[nodiscard]] const ZipArchive& zip() const { return zip_; }

  private:
    explicit SkinArchive(ZipArchive zip);
    [[nodiscard]] std::optional<std::string> resolve(const std::string& name) const;
    [[nodiscard]] Result<std::shared_ptr<const XmlElement>> readLayoutElements(const std::string& name) const;

    ZipArchive zip_;
    std::unordered_map<std::string, std::string> byFileName_;  // "x.png" -> "images/x.png"
    std::unordered_map<std::string, std::optional<QImage>> images_;
    std::unordered_map<std::string, Result<std::shared_ptr<const XmlElement>>> layouts_;
};

// The skin new windows use (set once at start-up, like the program's resource archive).
void setProcessSkin(std::shared_ptr<SkinArchive> skin);
[[nodiscard]] std::shared_ptr<SkinArchive> processSkin();

// Bytes of the skin archive embedded at build time (empty when the build had none).
[[nodiscard]] std::span<const std::uint8_t> embeddedSkin();

}  // namespace vexa::toolkit
