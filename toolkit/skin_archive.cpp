#include "toolkit/skin_archive.h"

namespace vexa::toolkit {

namespace {
constexpr const char* kWhat = "skin archive";

std::shared_ptr<SkinArchive>& processSkinSlot() {
    static std::shared_ptr<SkinArchive> skin;
    return skin;
}
}  // namespace

void setProcessSkin(std::shared_ptr<SkinArchive> skin) {
    processSkinSlot() = std::move(skin);
}
std::shared_ptr<SkinArchive> processSkin() {
    return processSkinSlot();
}

SkinArchive::SkinArchive(ZipArchive zip) : zip_(std::move(zip)) {
    for (const auto& path : zip_.names()) {
        const auto slash = path.rfind('/');
        byFileName_.emplace(slash == std::string::npos ? path : path.substr(slash + 1), path);
    }
}

Result<std::shared_ptr<SkinArchive>> SkinArchive::open(std::span<const std::uint8_t> bytes) {
    auto zip = ZipArchive::open(bytes);
    if (!zip.ok()) return zip.error().Within(kWhat);
    return std::shared_ptr<SkinArchive>(new SkinArchive(std::move(zip).value()));
}

Result<std::shared_ptr<SkinArchive>> SkinArchive::openCopy(std::vector<std::uint8_t> bytes) {
    auto zip = ZipArchive::openCopy(std::move(bytes));
    if (!zip.ok()) return zip.error().Within(kWhat);
    return std::shared_ptr<SkinArchive>(new SkinArchive(std::move(zip).value()));
}

Result<std::shared_ptr<SkinArchive>> SkinArchive::openEmbedded() {
    const auto bytes = embeddedSkin();
    if (bytes.empty()) return Error(ErrorCode::kNotFound, "skin archive: the program carries none");
    return open(bytes);
}

std::optional<std::string> SkinArchive::resolve(const std::string& name) const {
    if (zip_.contains(name)) return name;
    const auto slash = name.rfind('/');
    const auto it = byFileName_.find(slash == std::string::npos ? name : name.substr(slash + 1));
    if (it == byFileName_.end()) return std::nullopt;
    return it->second;
}

Result<std::string> SkinArchive::layout(const std::string& name) const {
    const auto path = resolve(name);
    if (!path) return Error(ErrorCode::kNotFound, std::string(kWhat) + ": no layout '" + name + "'");
    auto bytes = zip_.read(*path);
    if (!bytes.ok()) return bytes.error().Within(kWhat);
    return std::string(bytes->begin(), bytes->end());
}

Result<std::shared_ptr<const XmlElement>> SkinArchive::readLayoutElements(const std::string& name) const {
    const auto text = layout(name);
    if (!text.ok()) return text.error();
    auto document = parseXml(text.value(), name);
    if (!document.ok()) return document.error();
    return std::make_shared<const XmlElement>(std::move(document).value());
}

Result<std::shared_ptr<const XmlElement>> SkinArchive::layoutElements(const std::string& name) {
    auto it = layouts_.find(name);
    if (it == layouts_.end()) it = layouts_.emplace(name, readLayoutElements(name)).first;
    return it->second;
}

const QImage* SkinArchive::image(const std::string& file) {
    auto it = images_.find(file);
    if (it == images_.end()) {
        std::optional<QImage> decoded;
        if (const auto path = resolve(file)) {
            if (const auto bytes = zip_.read(*path); bytes.ok()) {
                QImage image;
                if (image.loadFromData(bytes->data(), static_cast<int>(bytes->size()))) {
                    decoded = image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
                }
            }
        }
        it = images_.emplace(file, std::move(decoded)).first;
    }
    return it->second ? &*it->second : nullptr;
}

}  // namespace vexa::toolkit
