#include "TestRegistry.h"
#include "TestSupport.h"

#include "ui/ThemeManager.h"

#include <QApplication>
#include <QPalette>
#include <QStyle>
#include <QTemporaryDir>
#include <QTest>

using namespace pv;

namespace {

// A complete palette section in the given colours, one line per token.
QByteArray paletteLines(const QString &accent = QStringLiteral("#35e0a1"))
{
    QByteArray text = "[palette]\n";
    for (const QString &token : ThemeManager::paletteTokenNames()) {
        const QString value = token == QLatin1String("accent") ? accent : QStringLiteral("#102030");
        text += token.toUtf8() + " = " + value.toUtf8() + '\n';
    }
    return text;
}

} // namespace

class ThemeManagerTest : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;

    // A fresh application folder whose "theme" folder holds the given files.
    QString appFolderWith(const QString &name, const QHash<QString, QByteArray> &files)
    {
        const QString folder = m_dir.path() + QLatin1Char('/') + name;
        QDir().mkpath(folder + QStringLiteral("/theme"));
        for (auto it = files.cbegin(); it != files.cend(); ++it)
            test::writeFixture(folder + QStringLiteral("/theme/") + it.key(), it.value());
        ThemeManager::setApplicationFolderForTests(folder);
        return folder;
    }

private slots:
    void cleanup()
    {
        ThemeManager::setApplicationFolderForTests(QString());
        test::setSetting(QStringLiteral("appearance/theme"), QVariant());
    }

    void iniReaderFollowsTheFileRules()
    {
        const QString path = test::writeFixture(m_dir.filePath(QStringLiteral("rules.ini")),
                                                "orphan = before any header\n"
                                                "  ; a comment\n"
                                                "# another comment\n"
                                                "[ palette ]\n"
                                                "void = #000000\n"
                                                "void = #010101\n"
                                                "accent = #35e0a1 ; green\n"
                                                "Accent = #ffffff\n"
                                                "formula = a=b=c\n"
                                                "no equals sign here\n"
                                                " = empty key\n"
                                                "[odd=header]\n"
                                                "key = value\n");
        bool ok = false;
        const QHash<QString, QString> values = ThemeManager::readIniFile(path, ok);
        QVERIFY(ok);
        QCOMPARE(values.value(QStringLiteral("/orphan")), QStringLiteral("before any header"));
        QCOMPARE(values.value(QStringLiteral("palette/void")), QStringLiteral("#010101"));
        QCOMPARE(values.value(QStringLiteral("palette/accent")), QStringLiteral("#35e0a1 ; green"));
        QCOMPARE(values.value(QStringLiteral("palette/Accent")), QStringLiteral("#ffffff"));
        QCOMPARE(values.value(QStringLiteral("palette/formula")), QStringLiteral("a=b=c"));
        QCOMPARE(values.value(QStringLiteral("odd=header/key")), QStringLiteral("value"));
        QCOMPARE(values.size(), 6);

        ok = true;
        QVERIFY(ThemeManager::readIniFile(m_dir.filePath(QStringLiteral("missing.ini")), ok).isEmpty());
        QVERIFY(!ok);
    }

    void themesLoadWholeOrNotAtAll()
    {
        QByteArray complete = paletteLines();
        QByteArray capitalised = complete;
        capitalised.replace("\naccent =", "\nAccent =");
        QByteArray commented = complete;
        commented.replace("#35e0a1", "#35e0a1 ; bright");
        QByteArray otherForms = paletteLines(QStringLiteral("#abc")) + "void = darkorchid\n"
            + "text = #ffff80800000\n";
        const QString folder = appFolderWith(QStringLiteral("loading"),
                                             {{QStringLiteral("complete.ini"), complete},
                                              {QStringLiteral("capitalised.ini"), capitalised},
                                              {QStringLiteral("commented.ini"), commented},
                                              {QStringLiteral("forms.ini"), otherForms}});
        const QString dir = folder + QStringLiteral("/theme");
        QCOMPARE(ThemeManager::themeDirectory(), dir);

        QString error = QStringLiteral("stale");
        QHash<QString, QColor> colors = ThemeManager::loadTheme(QStringLiteral("complete"), &error);
        QCOMPARE(colors.size(), 19);
        QVERIFY(error.isEmpty());

        colors = ThemeManager::loadTheme(QStringLiteral("capitalised"), &error);
        QVERIFY(colors.isEmpty());
        QCOMPARE(error, QStringLiteral("%1/capitalised.ini defines no \"accent\"").arg(dir));

        colors = ThemeManager::loadTheme(QStringLiteral("commented"), &error);
        QVERIFY(colors.isEmpty());
        QCOMPARE(error, QStringLiteral("%1/commented.ini: \"accent\" is not a colour (#35e0a1 ; bright)").arg(dir));

        colors = ThemeManager::loadTheme(QStringLiteral("no-such-theme"), &error);
        QVERIFY(colors.isEmpty());
        QCOMPARE(error, QStringLiteral("no theme file at %1/no-such-theme.ini").arg(dir));
        QVERIFY(ThemeManager::loadTheme(QString(), &error).isEmpty());
        QVERIFY(error.startsWith(QLatin1String("no theme file at")));

        // Short hex, SVG names and 12-digit forms are colours; a later "void" wins.
        colors = ThemeManager::loadTheme(QStringLiteral("forms"), &error);
        QVERIFY2(colors.size() == 19, qPrintable(error));
        QCOMPARE(colors.value(QStringLiteral("accent")), QColor(0xaa, 0xbb, 0xcc));
        QCOMPARE(colors.value(QStringLiteral("void")), QColor(153, 50, 204));
        QCOMPARE(colors.value(QStringLiteral("text")).name(), QStringLiteral("#ff8000"));
    }

    void builtInThemesAreCompleteAndListedInOrder()
    {
        // An empty "theme" folder does not hide the built-in themes.
        appFolderWith(QStringLiteral("empty"), {});
        QCOMPARE(ThemeManager::themeDirectory(), QStringLiteral(":/themes"));

        const QStringList tokens = ThemeManager::paletteTokenNames();
        QCOMPARE(tokens.size(), 19);
        QCOMPARE(tokens.first(), QStringLiteral("void"));
        QCOMPARE(tokens.last(), QStringLiteral("danger"));

        QStringList names;
        for (const ThemeInfo &theme : ThemeManager::availableThemes()) {
            names.append(theme.name);
            const QHash<QString, QColor> colors = ThemeManager::loadTheme(theme.id);
            QCOMPARE(colors.size(), 19);
            const QString sheet = ThemeManager::themeStyleSheet(colors);
            QVERIFY2(!sheet.isEmpty() && !sheet.contains(QLatin1Char('@')), qPrintable(theme.id));
            QVERIFY(sheet.contains(colors.value(QStringLiteral("accent-deep")).name()));
        }
        QCOMPARE(names, QStringList({"Water", "Grass", "Fire", "Lightning", "Earth", "Steel", "Blizzard",
                                     "Psychic", "Fairy", "Shadow"}));

        // The installed copies beside the executable are the built-in files.
        for (const QString &id : {QStringLiteral("grass"), QStringLiteral("shadow")}) {
            const QByteArray builtIn = test::readFile(QStringLiteral(":/themes/%1.ini").arg(id));
            QVERIFY(!builtIn.isEmpty());
            QCOMPARE(test::readFile(QCoreApplication::applicationDirPath() + QStringLiteral("/theme/%1.ini").arg(id)),
                     builtIn);
        }

        // Longer token names are substituted first, so "@accent-deep" keeps its own colour.
        QVERIFY(ThemeManager::tokenLongerFirst(QStringLiteral("accent-deep"), QStringLiteral("accent")));
        QVERIFY(ThemeManager::tokenLongerFirst(QStringLiteral("accent-dim"), QStringLiteral("line-soft")));
        QVERIFY(!ThemeManager::tokenLongerFirst(QStringLiteral("line"), QStringLiteral("line")));
    }

    void oneThemeFileBesideTheProgramHidesTheBuiltIns()
    {
        appFolderWith(QStringLiteral("own"),
                      {{QStringLiteral("mine.ini"), "[theme]\nname = Mine\norder = 3\n" + paletteLines()},
                       {QStringLiteral("bare.ini"), paletteLines()},
                       {QStringLiteral("zulu.ini"), "[theme]\nname = Alpha\nfamily = Last file\norder = 3\n"},
                       {QStringLiteral("word.ini"), "[theme]\nname = word\norder = three\n"}});
        const QList<ThemeInfo> themes = ThemeManager::availableThemes();
        QStringList listed;
        for (const ThemeInfo &theme : themes)
            listed.append(theme.id + QLatin1Char(':') + theme.name + QLatin1Char(':') + theme.family
                          + QLatin1Char(':') + QString::number(theme.order));
        QCOMPARE(listed, QStringList({"bare:bare::0", "word:word::0", "zulu:Alpha:Last file:3", "mine:Mine::3"}));
    }

    void applyingThemesChangesPaletteAndSheetOnly()
    {
        test::setSetting(QStringLiteral("appearance/theme"), QStringLiteral("  fire "));
        QCOMPARE(ThemeManager::currentThemeName(), QStringLiteral("fire"));
        test::setSetting(QStringLiteral("appearance/theme"), QStringLiteral("   "));
        QCOMPARE(ThemeManager::currentThemeName(), QStringLiteral("grass"));
        ThemeManager::setCurrentThemeName(QStringLiteral("water"));
        QCOMPARE(test::setting(QStringLiteral("appearance/theme")).toString(), QStringLiteral("water"));

        auto *app = qobject_cast<QApplication *>(QCoreApplication::instance());
        ThemeManager::applyTheme(app, QStringLiteral("fire"));
        QStyle *style = QApplication::style();
        QCOMPARE(style->styleHint(QStyle::SH_Widget_Animation_Duration), 0);
        QCOMPARE(QApplication::palette().color(QPalette::Highlight), QColor(0xff, 0x6a, 0x45));
        QCOMPARE(QApplication::palette().color(QPalette::Disabled, QPalette::Highlight), QColor(0x5d, 0x21, 0x12));
        QCOMPARE(QApplication::palette().color(QPalette::Shadow), QColor(Qt::black));
        QVERIFY(app->styleSheet().contains(QStringLiteral("#ff6a45")));

        // A second call keeps the style object; an unknown id falls back to grass.
        ThemeManager::applyTheme(app, QStringLiteral("no-such-theme"));
        QCOMPARE(QApplication::style(), style);
        QCOMPARE(QApplication::palette().color(QPalette::Window), QColor(0x07, 0x0b, 0x0a));

        // Only mine.ini beside the program: a stored "water" falls back to grass,
        // which is missing too, so neither palette nor sheet changes.
        appFolderWith(QStringLiteral("lonely"), {{QStringLiteral("mine.ini"), paletteLines(QStringLiteral("#123456"))}});
        const QString sheetBefore = app->styleSheet();
        ThemeManager::applyTheme(app, ThemeManager::currentThemeName());
        QCOMPARE(app->styleSheet(), sheetBefore);
        QCOMPARE(QApplication::palette().color(QPalette::Window), QColor(0x07, 0x0b, 0x0a));
        ThemeManager::applyTheme(app, QStringLiteral("mine"));
        QCOMPARE(QApplication::palette().color(QPalette::Highlight), QColor(0x12, 0x34, 0x56));

        app->setStyleSheet(QString());
        QApplication::setPalette(QPalette());
    }
};

PV_REGISTER_TEST(ThemeManagerTest)
#include "ThemeManagerTest.moc"
