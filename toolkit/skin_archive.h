// The skin: layouts and images read from a ZIP archive in memory, with decoded images cached
// per archive. `embeddedSkin()` is the archive linked into the program at build time.
// Thread-safety: open on any thread; layout() is safe everywhere, image() only on the thread that
// paints (the cache is not locked).
#pragma once

#include "toolkit/zip_archive.h"

#include <QImage>

#include <memory>
#include <optional>
#include <span>
#include <string>
#include <unordered_map>

namespace vexa::toolkit {

class SkinArchive {
  public:
    [[nodiscard]] static std::shared_ptr<SkinArchive> open(std::span<const std::uint8_t> bytes,
                                                           std::string* error);
    [[nodiscard]] static std::shared_ptr<SkinArchive> openCopy(std::vector<std::uint8_t> bytes,
                                                               std::string* error);
    // The archive linked into the program; an error when the build embedded none or it is damaged.
    [[nodiscard]] static std::shared_ptr<SkinArchive> openEmbedded(std::string* error);

    // A layout's text ("MainWnd.xml").
    [[nodiscard]] std::optional<std::string> layout(const std::string& name,
                                                    std::string* error = nullptr) const;
    // A decoded image, looked up by path and then by file name alone; null when absent or undecodable.
    [[nodiscard]] const QImage* image(const std::string& file);
    [[nodiscard]] const ZipArchive& zip() const { return zip_; }

  private:
    explicit SkinArchive(ZipArchive zip);
    [[nodiscard]] std::optional<std::string> resolve(const std::string& name) const;

    ZipArchive zip_;
    std::unordered_map<std::string, std::string> byFileName_;  // "x.png" -> "images/x.png"
    std::unordered_map<std::string, std::optional<QImage>> images_;
};

// The skin new windows use (set once at start-up, like the program's resource archive).
void setProcessSkin(std::shared_ptr<SkinArchive> skin);
[[nodiscard]] std::shared_ptr<SkinArchive> processSkin();

// Bytes of the skin archive embedded at build time (empty when the build had none).
[[nodiscard]] std::span<const std::uint8_t> embeddedSkin();

}  // namespace vexa::toolkit
