// The look of Qt's standard pieces: a dark palette that stays readable, and Qt's own translations
// for a locale (their words checked against the languages themselves).
#include "toolkit/desktop_look.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QFileInfo>
#include <QLibraryInfo>
#include <QTranslator>

namespace vexa::toolkit {
namespace {

TEST(DesktopLook, ContrastRatioMatchesTheKnownExtremesAndIsSymmetric) {
    EXPECT_NEAR(contrastRatio(Qt::black, Qt::white), 21.0, 1e-9);
    EXPECT_NEAR(contrastRatio(Qt::white, Qt::black), 21.0, 1e-9);
    EXPECT_NEAR(contrastRatio(QColor(0x77, 0x77, 0x77), Qt::white), 4.48, 0.01);  // the familiar grey
    EXPECT_NEAR(contrastRatio(Qt::red, Qt::red), 1.0, 1e-9);
}

// Dark backgrounds, and every text readable on what it is drawn on in each state: normal text at
// least 7:1, disabled text still at least 3:1 and dimmer than normal.
TEST(DesktopLook, ThePaletteIsDarkAndEveryTextReadableOnItsBackground) {
    const QPalette p = darkPalette();
    const std::pair<QPalette::ColorRole, QPalette::ColorRole> pairs[] = {
        {QPalette::WindowText, QPalette::Window},         {QPalette::Text, QPalette::Base},
        {QPalette::ButtonText, QPalette::Button},         {QPalette::ToolTipText, QPalette::ToolTipBase},
        {QPalette::HighlightedText, QPalette::Highlight}, {QPalette::Text, QPalette::AlternateBase}};
    for (const auto group : {QPalette::Active, QPalette::Inactive}) {
        for (const auto role : {QPalette::Window, QPalette::Base, QPalette::Button, QPalette::ToolTipBase})
            EXPECT_LT(p.color(group, role).lightnessF(), 0.25) << role;
        for (const auto& [text, back] : pairs)
            EXPECT_GE(contrastRatio(p.color(group, text), p.color(group, back)), 7.0)
                << text << " on " << back;
    }
    for (const auto& [text, back] : pairs) {
        const double disabled =
            contrastRatio(p.color(QPalette::Disabled, text), p.color(QPalette::Disabled, back));
        EXPECT_GE(disabled, 3.0) << text << " on " << back;
        EXPECT_LT(disabled, contrastRatio(p.color(QPalette::Active, text), p.color(QPalette::Active, back)));
    }
}

// German and Chinese buttons say their own words once Qt's translations are in; a locale with no
// translation is refused, naming it.
TEST(DesktopLook, QtsTranslationsGiveTheStandardButtonsTheLocalesWords) {
    const QString folder = QLibraryInfo::path(QLibraryInfo::TranslationsPath);
    if (!QFileInfo::exists(folder + "/qtbase_de.qm"))
        GTEST_SKIP() << "Qt's translations are not installed (Debian: qt6-translations-l10n)";
    auto* app = qobject_cast<QApplication*>(QCoreApplication::instance());
    ASSERT_NE(app, nullptr);
    const auto cancel = [] { return QCoreApplication::translate("QPlatformTheme", "Cancel").toStdString(); };
    ASSERT_EQ(cancel(), "Cancel");
    for (const auto& [locale, word] : {std::pair{"de_DE", "Abbrechen"}, std::pair{"zh_CN", "取消"}}) {
        Result<QTranslator*> t =
            installQtTranslations(*app, QLocale(QString::fromLatin1(locale)), folder.toStdString());
        ASSERT_TRUE(t.ok()) << t.error().message();
        EXPECT_EQ(cancel(), word) << locale;
        QCoreApplication::removeTranslator(*t);
        delete *t;
    }
    EXPECT_EQ(cancel(), "Cancel");
    Result<QTranslator*> none =
        installQtTranslations(*app, QLocale(QStringLiteral("sw_KE")), folder.toStdString());
    ASSERT_FALSE(none.ok());
    EXPECT_EQ(none.error().code(), ErrorCode::kNotFound);
    EXPECT_NE(none.error().message().find("sw_KE"), std::string::npos);
}

}  // namespace
}  // namespace vexa::toolkit
