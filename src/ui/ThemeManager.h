#pragma once

#include <QColor>
#include <QHash>
#include <QList>
#include <QMetaType>
#include <QString>
#include <QStringList>

class QApplication;

namespace pv {

// One colour theme as the user sees it in a list.
struct ThemeInfo
{
    QString id;      // file base name, stored in "appearance/theme"
    QString name;    // "theme/name", or the id
    QString family;  // "theme/family", may be empty
    int order = 0;   // "theme/order"; the list is sorted by it
};

// The colour themes and the application style. A theme is an INI file of
// nineteen palette tokens; applying it installs the unanimated Fusion style,
// the palette built from the tokens and the style sheet template filled with
// them. A "theme" folder beside the executable holding at least one .ini file
// replaces the ten built-in themes under ":/themes".
namespace ThemeManager {

QStringList paletteTokenNames();
QString defaultThemeName();
QString themeStyleName();

// The stored theme id, trimmed; the default when it is empty.
QString currentThemeName();
void setCurrentThemeName(const QString &id);

// The "theme" folder beside the executable when it holds a .ini file, else
// the built-in ":/themes".
QString themeDirectory();

// For tests: look for the "theme" folder in this folder instead of the
// executable's; an empty text goes back to the executable's folder.
void setApplicationFolderForTests(const QString &folder);

// Reads an INI file into "section/key" -> value. ok is false and the hash
// empty when the file cannot be opened.
QHash<QString, QString> readIniFile(const QString &path, bool &ok);

// All nineteen colours of the theme, or an empty hash with the reason in
// errorText.
QHash<QString, QColor> loadTheme(const QString &id, QString *errorText = nullptr);

QList<ThemeInfo> availableThemes();

// The style sheet template with every "@token" of the colours replaced;
// empty when the template cannot be read.
QString themeStyleSheet(const QHash<QString, QColor> &colors);

void applyTheme(QApplication *app, const QString &id);

// Substitution order: longer names first, so "@accent-deep" is not eaten by
// "@accent"; equal lengths in code-unit order.
bool tokenLongerFirst(const QString &a, const QString &b);

} // namespace ThemeManager
} // namespace pv

Q_DECLARE_METATYPE(pv::ThemeInfo)
