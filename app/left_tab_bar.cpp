#include "app/left_tab_bar.h"

#include "settings/settings_catalog.h"
#include "toolkit/paint_manager.h"

namespace vexa::app {
namespace {
constexpr const char* kTabNames[] = {"desktop_btn", "sound_btn", "camera_btn", "setting_btn"};
}  // namespace

CLeftTabBar::CLeftTabBar() {}

CLeftTabBar::~CLeftTabBar() {}

Error CLeftTabBar::Init(settings::SettingsKey& settings) {
    settings_ = &settings;
    for (size_t i = 0; i < buttons_.size(); ++i) {
        buttons_[i] = dynamic_cast<toolkit::Option*>(toolkit::findChild(*this, kTabNames[i]));
        if (!buttons_[i])
            return Error(ErrorCode::kNotFound, std::string("tab bar: ") + kTabNames[i] + " is missing");
        const int tab = static_cast<int>(i);
        buttons_[i]->addNotifyHandler([this, tab](toolkit::Notification& n) {
            if (n.type == "click") SelectTab(tab);
            return true;
        });
    }
    current_ = -1;
    SelectTab(static_cast<int>(settings::ReadSetting(settings, settings::kLeftTabSel)));
    return {};
}

bool CLeftTabBar::SelectTab(int tab) {
    if (tab < 0 || tab > kSettingsTab) return false;
    for (size_t i = 0; i < buttons_.size(); ++i) {
        const bool selected = static_cast<int>(i) == tab;
        buttons_[i]->setSelected(selected, false);
        buttons_[i]->setMouseEnabled(!selected);
    }
    if (tab < kSettingsTab && settings_)
        settings::StoreSetting(*settings_, settings::kLeftTabSel, static_cast<uint32_t>(tab));
    const int previous = current_;
    current_ = tab;
    if (manager()) manager()->sendNotify(this, "tabselect", static_cast<std::uintptr_t>(tab), previous);
    return true;
}

}  // namespace vexa::app
