#include "selftest/SelfTests.h"

#include "selftest/SelfTestHarness.h"
#include "ui/ThemeManager.h"

namespace pv::selftest {

void testThemes()
{
    const QList<ThemeInfo> themes = ThemeManager::availableThemes();
    QStringList ids;
    for (const ThemeInfo &theme : themes)
        ids.append(theme.id);
    out() << "  found: " << ids.join(QStringLiteral(", ")) << '\n';
    check(themes.size() == 10,
          QStringLiteral("ten themes are installed (found %1)").arg(themes.size()));

    const int tokenCount = ThemeManager::paletteTokenNames().size();
    for (const QString &id : ids) {
        QString error;
        const QHash<QString, QColor> colors = ThemeManager::loadTheme(id, &error);
        if (colors.isEmpty()) {
            check(false, QStringLiteral("%1: %2").arg(id, error));
            continue;
        }
        const QString sheet = ThemeManager::themeStyleSheet(colors);
        check(!sheet.isEmpty() && !sheet.contains(QLatin1Char('@')),
              QStringLiteral("%1 defines all %2 tokens and leaves none in the stylesheet")
                  .arg(id)
                  .arg(tokenCount));
    }

    QString defaultError;
    check(!ThemeManager::loadTheme(ThemeManager::defaultThemeName(), &defaultError).isEmpty(),
          QStringLiteral("the default theme (%1) loads").arg(ThemeManager::defaultThemeName()));
    check(ThemeManager::loadTheme(QStringLiteral("no-such-theme")).isEmpty(),
          QStringLiteral("an unknown theme id is rejected rather than half-loaded"));

    const QHash<QString, QColor> grass = ThemeManager::loadTheme(QStringLiteral("grass"));
    const bool original = grass.value(QStringLiteral("accent")) == QColor(53, 224, 161)
        && grass.value(QStringLiteral("void")) == QColor(7, 11, 10)
        && grass.value(QStringLiteral("text")) == QColor(207, 227, 218);
    check(original, QStringLiteral("grass still carries the original green palette"));
    out() << '\n';
    out().flush();
}

} // namespace pv::selftest
