#include "toolkit/desktop_look.h"

#include <QApplication>
#include <QLibraryInfo>
#include <QStyleFactory>
#include <QToolTip>
#include <QTranslator>

#include <algorithm>
#include <cmath>
#include <memory>

#include "platform/log/log.h"

namespace vexa::toolkit {

namespace {

// The skin's colours (the exit prompt's card, its borders, its text and its accent).
constexpr QRgb kWindow = 0xFF2A2A2A;
constexpr QRgb kBase = 0xFF232323;
constexpr QRgb kAlternateBase = 0xFF303030;
constexpr QRgb kButton = 0xFF363636;
constexpr QRgb kBorder = 0xFF4A4A4A;
constexpr QRgb kText = 0xFFD0D0D0;
constexpr QRgb kBrightText = 0xFFF0F0F0;
constexpr QRgb kDisabledText = 0xFF808080;
constexpr QRgb kAccent = 0xFF3DD0EE;
constexpr QRgb kOnAccent = 0xFF101010;

double luminance(const QColor& c) {
    auto linear = [](double v) { return v <= 0.04045 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4); };
    return 0.2126 * linear(c.redF()) + 0.7152 * linear(c.greenF()) + 0.0722 * linear(c.blueF());
}

}  // namespace

QPalette darkPalette() {
    QPalette p;
    for (const QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled}) {
        const bool off = group == QPalette::Disabled;
        p.setColor(group, QPalette::Window, QColor::fromRgb(kWindow));
        p.setColor(group, QPalette::WindowText, QColor::fromRgb(off ? kDisabledText : kText));
        p.setColor(group, QPalette::Base, QColor::fromRgb(kBase));
        p.setColor(group, QPalette::AlternateBase, QColor::fromRgb(kAlternateBase));
        p.setColor(group, QPalette::Text, QColor::fromRgb(off ? kDisabledText : kText));
        p.setColor(group, QPalette::PlaceholderText, QColor::fromRgb(kDisabledText));
        p.setColor(group, QPalette::Button, QColor::fromRgb(kButton));
        p.setColor(group, QPalette::ButtonText, QColor::fromRgb(off ? kDisabledText : kText));
        p.setColor(group, QPalette::BrightText, QColor::fromRgb(kBrightText));
        p.setColor(group, QPalette::Highlight, QColor::fromRgb(off ? kButton : kAccent));
        p.setColor(group, QPalette::HighlightedText, QColor::fromRgb(off ? kDisabledText : kOnAccent));
        p.setColor(group, QPalette::ToolTipBase, QColor::fromRgb(kBase));
        p.setColor(group, QPalette::ToolTipText, QColor::fromRgb(off ? kDisabledText : kBrightText));
        p.setColor(group, QPalette::Link, QColor::fromRgb(kAccent));
        p.setColor(group, QPalette::Light, QColor::fromRgb(kBorder));
        p.setColor(group, QPalette::Midlight, QColor::fromRgb(kButton));
        p.setColor(group, QPalette::Mid, QColor::fromRgb(kAlternateBase));
        p.setColor(group, QPalette::Dark, QColor::fromRgb(kBase));
        p.setColor(group, QPalette::Shadow, QColor(Qt::black));
    }
    return p;
}

double contrastRatio(const QColor& a, const QColor& b) {
    const double la = luminance(a), lb = luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

Result<QTranslator*> installQtTranslations(QApplication& app, const QLocale& locale,
                                           const std::string& folder) {
    auto translator = std::make_unique<QTranslator>(&app);
    if (!translator->load(locale, "qtbase", "_", QString::fromStdString(folder), ".qm"))
        return Error(ErrorCode::kNotFound,
                     "no Qt translation for " + locale.name().toStdString() + " in " + folder);
    QTranslator* installed = translator.release();  // the application owns it
    QCoreApplication::installTranslator(installed);
    return installed;
}

void applyDesktopLook(QApplication& app) {
    if (QStyle* fusion = QStyleFactory::create("Fusion")) QApplication::setStyle(fusion);
    QApplication::setPalette(darkPalette());
    QToolTip::setPalette(darkPalette());
    const QLocale locale;
    if (locale.language() == QLocale::English || locale.language() == QLocale::C) return;
    const std::string folder = QLibraryInfo::path(QLibraryInfo::TranslationsPath).toStdString();
    Result<QTranslator*> loaded = installQtTranslations(app, locale, folder);
    if (loaded.ok())
        log::Writef(log::Level::kInfo, "Qt translations: %s", (*loaded)->filePath().toUtf8().constData());
    else
        log::Warning(loaded.error().message() + " (Debian: qt6-translations-l10n)");
}

}  // namespace vexa::toolkit
