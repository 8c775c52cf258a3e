#include "toolkit/dialog_builder.h"

#include "toolkit/button.h"
#include "toolkit/combo.h"
#include "toolkit/container.h"
#include "toolkit/fonts.h"
#include "toolkit/label.h"
#include "toolkit/list.h"
#include "toolkit/paint_manager.h"
#include "toolkit/slider.h"
#include "toolkit/translate.h"
#include "toolkit/xml_parser.h"

namespace vexa::toolkit {

namespace {

template <class T>
std::unique_ptr<Control> make() {
    return std::make_unique<T>();
}

void readWindowInfo(const XmlElement& element, WindowInfo& info) {
    for (const auto& [name, value] : element.attributes) {
        if (name == "size") {
            if (auto s = parseSize(value)) info.size = *s;
        } else if (name == "mininfo") {
            if (auto s = parseSize(value)) info.minSize = *s;
        } else if (name == "maxinfo") {
            if (auto s = parseSize(value)) info.maxSize = *s;
        } else if (name == "caption") {
            if (auto v = parseInts<4>(value))
                info.caption = QRect(QPoint((*v)[0], (*v)[1]), QPoint((*v)[2], (*v)[3]));
        } else if (name == "sizebox") {
            if (auto m = parseMargins(value)) info.sizeBox = *m;
        } else if (name == "layered" || name == "bktrans") {
            if (auto b = parseBool(value)) info.layered = *b;
        } else if (name == "layeredimage") {
            info.layeredImage = value;
        } else if (name == "opacity") {
            if (auto n = parseInt(value); n && *n >= 0 && *n <= 255) info.opacity = *n;
        }
    }
}

void readFont(const XmlElement& element, FontTable& fonts) {
    FontSpec spec;
    std::optional<int> id;
    bool isDefault = false;
    for (const auto& [name, value] : element.attributes) {
        if (name == "id")
            id = parseInt(value);
        else if (name == "name")
            spec.family = value;
        else if (name == "size")
            spec.pixelSize = parseInt(value).value_or(spec.pixelSize);
        else if (name == "bold")
            spec.bold = parseBool(value).value_or(false);
        else if (name == "italic")
            spec.italic = parseBool(value).value_or(false);
        else if (name == "underline")
            spec.underline = parseBool(value).value_or(false);
        else if (name == "default")
            isDefault = parseBool(value).value_or(false);
    }
    if (id) fonts.add(*id, spec, isDefault);
}

class Builder {
  public:
    Builder(PaintManager& manager, const CreateControlFn& createControl, std::string_view documentName)
        : manager_(manager), createControl_(createControl), documentName_(documentName) {}

    Result<std::unique_ptr<Control>> document(const XmlElement& root) {
        if (root.tag != "Window") return control(root);
        readWindowInfo(root, manager_.windowInfo());
        std::unique_ptr<Control> result;
        for (const XmlElement& child : root.children) {
            if (child.tag == "Font") {
                readFont(child, manager_.fonts());
            } else if (child.tag == "Default") {
                const std::string* name = child.attribute("name");
                const std::string* value = child.attribute("value");
                if (name && value) manager_.setDefaultAttributes(*name, *value);
            } else if (child.tag == "Image" || child.tag == "Include") {
                continue;  // images are loaded on first use; includes are not used by the skin
            } else if (!result) {
                auto built = control(child);
                if (!built.ok()) return built;
                result = std::move(built).value();
            } else {
                return fail(child,
                            "a window layout holds one root control; found another <" + child.tag + ">");
            }
        }
        if (!result) return fail(root, "the window layout has no root control");
        return result;
    }

  private:
    [[nodiscard]] Error fail(const XmlElement& element, const std::string& why) const {
        return Error(ErrorCode::kInvalidArgument,
                     std::string(documentName_) + " line " + std::to_string(element.line) + ": " + why);
    }

    Result<std::unique_ptr<Control>> control(const XmlElement& element) {
        std::unique_ptr<Control> result = createControl_ ? createControl_(element.tag) : nullptr;
        if (!result) result = createStandardControl(element.tag);
        if (!result) return fail(element, "unknown control tag <" + element.tag + ">");
        // Known to the manager from the start, so groups, defaults and fonts resolve while building.
        result->attach(&manager_, nullptr);
        if (const std::string* defaults = manager_.defaultAttributes(element.tag))
            result->applyAttributeList(*defaults);
        // The texts a user reads are the source (Chinese) ones in the layout, shown translated.
        for (const auto& [name, value] : element.attributes)
            result->setAttribute(name, name == "text" || name == "tooltip" ? Tr(value) : value);
        if (!element.children.empty()) {
            auto* container = dynamic_cast<Container*>(result.get());
            if (!container) return fail(element, "<" + element.tag + "> cannot hold controls");
            for (const XmlElement& child : element.children) {
                auto built = control(child);
                if (!built.ok()) return built;
                container->add(std::move(built).value());
            }
        }
        result->onBuilt();
        return result;
    }

    PaintManager& manager_;
    const CreateControlFn& createControl_;
    std::string_view documentName_;
};

}  // namespace

std::unique_ptr<Control> createStandardControl(std::string_view tag) {
    using Maker = std::unique_ptr<Control> (*)();
    static const std::pair<std::string_view, Maker> kTags[] = {
        {"Control", make<Control>},
        {"Container", make<Container>},
        {"VerticalLayout", make<VerticalLayout>},
        {"HorizontalLayout", make<HorizontalLayout>},
        {"TabLayout", make<TabLayout>},
        {"Label", make<Label>},
        {"Text", make<Text>},
        {"Edit", make<Edit>},
        {"Button", make<Button>},
        {"Option", make<Option>},
        {"CheckBox", make<CheckBox>},
        {"Slider", make<Slider>},
        {"Combo", make<Combo>},
        {"List", make<List>},
        {"ListLabelElement", make<ListLabelElement>},
        {"ListContainerElement", make<ListContainerElement>},
    };
    for (const auto& [name, maker] : kTags) {
        if (name == tag) return maker();
    }
    return nullptr;
}

Result<std::unique_ptr<Control>> buildLayoutText(std::string_view xml, PaintManager& manager,
                                                 const CreateControlFn& createControl,
                                                 std::string_view documentName) {
    const auto document = parseXml(xml, documentName);
    if (!document.ok()) return document.error();
    return Builder(manager, createControl, documentName).document(document.value());
}

Result<std::unique_ptr<Control>> buildLayout(const std::string& layoutName, PaintManager& manager,
                                             const CreateControlFn& createControl) {
    if (!manager.skin()) return Error(ErrorCode::kNotFound, layoutName + ": the window has no skin archive");
    const auto document = manager.skin()->layoutElements(layoutName);
    if (!document.ok()) return document.error();
    return Builder(manager, createControl, layoutName).document(*document.value());
}

}  // namespace vexa::toolkit
