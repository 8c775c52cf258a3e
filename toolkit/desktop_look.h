// The look of the standard pieces Qt draws beside the skinned windows (message boxes, the folder
// chooser, menus, tooltips, the camera settings dialog): the skin's dark palette, and Qt's own
// translations for the user's locale so their buttons and labels ("OK", "Cancel", "Look in") speak
// the user's language.
// Ownership: the translator installed belongs to the application object (a child of it).
// Thread-safety: user-interface thread only.
#pragma once

#include <QColor>
#include <QLocale>
#include <QPalette>

#include <string>

#include "platform/error.h"

class QApplication;
class QTranslator;

namespace vexa::toolkit {

// The skin's colours as a palette: dark window and base, light text, the skin's accent as the
// highlight, and dimmer text for disabled pieces.
[[nodiscard]] QPalette darkPalette();

// Contrast ratio of two colours (1 to 21) as accessibility guidelines define it from relative
// luminance: how readable text of one colour is on the other.
[[nodiscard]] double contrastRatio(const QColor& a, const QColor& b);

// Installs Qt's translations (qtbase) for `locale` from `folder`; returns the translator, which
// the application owns (its filePath() names the file loaded). kNotFound when the folder has none
// for the locale (English needs none).
[[nodiscard]] Result<QTranslator*> installQtTranslations(QApplication& app, const QLocale& locale,
                                                         const std::string& folder);

// Everything above for the running program: the Fusion style (which follows the palette on every
// desktop), the dark palette for widgets and tooltips, and the translations of the user's locale
// from Qt's translation folder (Debian: qt6-translations-l10n). Missing translations are logged.
void applyDesktopLook(QApplication& app);

}  // namespace vexa::toolkit
