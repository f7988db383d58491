#include "ui/ThemeManager.h"

#include "core/AppSettings.h"

#include <QApplication>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QPalette>
#include <QPointer>
#include <QProxyStyle>
#include <QStyleFactory>
#include <QTextStream>
#include <QWidget>

#include <algorithm>

namespace pv {

namespace {

const char *const kThemeKey = "appearance/theme";

QString &applicationFolderOverride()
{
    static QString folder;
    return folder;
}

// Fusion without widget animations, so docking and undocking are immediate.
class UnanimatedDockStyle : public QProxyStyle
{
public:
    explicit UnanimatedDockStyle(QStyle *base)
        : QProxyStyle(base)
    {
        setObjectName(ThemeManager::themeStyleName());
    }
    ~UnanimatedDockStyle() override = default;

    int styleHint(StyleHint hint, const QStyleOption *option, const QWidget *widget,
                  QStyleHintReturn *returnData) const override
    {
        if (hint == QStyle::SH_Widget_Animation_Duration)
            return 0;
        return QProxyStyle::styleHint(hint, option, widget, returnData);
    }
};

QString themePath(const QString &id)
{
    return ThemeManager::themeDirectory() + QLatin1Char('/') + id + QLatin1String(".ini");
}

} // namespace

namespace ThemeManager {

QStringList paletteTokenNames()
{
    static const QStringList names = {
        QStringLiteral("void"),        QStringLiteral("chrome"),        QStringLiteral("panel"),
        QStringLiteral("sunken"),      QStringLiteral("alternate"),     QStringLiteral("elevated"),
        QStringLiteral("accent-muted"), QStringLiteral("line-soft"),    QStringLiteral("hover"),
        QStringLiteral("line"),        QStringLiteral("line-strong"),   QStringLiteral("accent"),
        QStringLiteral("accent-dim"),  QStringLiteral("accent-deep"),   QStringLiteral("text"),
        QStringLiteral("text-dim"),    QStringLiteral("text-disabled"), QStringLiteral("selection-text"),
        QStringLiteral("danger")};
    return names;
}

QString defaultThemeName()
{
    return QStringLiteral("grass");
}

QString themeStyleName()
{
    return QStringLiteral("tallowk-fusion");
}

QString currentThemeName()
{
    const QString stored = AppSettings().value(QLatin1String(kThemeKey)).toString().trimmed();
    return stored.isEmpty() ? defaultThemeName() : stored;
}

void setCurrentThemeName(const QString &id)
{
    AppSettings().setValue(QLatin1String(kThemeKey), id);
}

QString themeDirectory()
{
    const QString &overridden = applicationFolderOverride();
    const QString appFolder = overridden.isEmpty() ? QCoreApplication::applicationDirPath() : overridden;
    const QDir beside(appFolder + QLatin1String("/theme"));
    if (beside.exists()
        && !beside.entryList({QStringLiteral("*.ini")}, QDir::Files).isEmpty())
        return beside.absolutePath();
    return QStringLiteral(":/themes");
}

void setApplicationFolderForTests(const QString &folder)
{
    applicationFolderOverride() = folder;
}

QHash<QString, QString> readIniFile(const QString &path, bool &ok)
{
    QHash<QString, QString> values;
    ok = false;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return values;
    QTextStream stream(&file);
    stream.setEncoding(QStringConverter::Utf8);
    QString section;
    QString line;
    while (stream.readLineInto(&line)) {
        line = line.trimmed();
        if (line.isEmpty() || line.startsWith(QLatin1Char(';')) || line.startsWith(QLatin1Char('#')))
            continue;
        if (line.startsWith(QLatin1Char('[')) && line.endsWith(QLatin1Char(']'))) {
            section = line.mid(1, line.size() - 2).trimmed();
            continue;
        }
        const int eq = line.indexOf(QLatin1Char('='));
        if (eq < 0)
            continue;
        const QString key = line.left(eq).trimmed();
        if (key.isEmpty())
            continue;
        values.insert(section + QLatin1Char('/') + key, line.mid(eq + 1).trimmed());
    }
    ok = true;
    return values;
}

QHash<QString, QColor> loadTheme(const QString &id, QString *errorText)
{
    const auto fail = [errorText](const QString &message) {
        if (errorText)
            *errorText = message;
        return QHash<QString, QColor>();
    };
    const QString path = themePath(id);
    if (id.isEmpty() || !QFileInfo::exists(path))
        return fail(QStringLiteral("no theme file at %1").arg(path));
    bool ok = false;
    const QHash<QString, QString> values = readIniFile(path, ok);
    if (!ok)
        return fail(QStringLiteral("%1 could not be read").arg(path));

    QHash<QString, QColor> colors;
    for (const QString &token : paletteTokenNames()) {
        const QString value = values.value(QLatin1String("palette/") + token);
        if (value.isEmpty())
            return fail(QStringLiteral("%1 defines no \"%2\"").arg(path, token));
        const QColor color = QColor::fromString(value);
        if (!color.isValid())
            return fail(QStringLiteral("%1: \"%2\" is not a colour (%3)").arg(path, token, value));
        colors.insert(token, color);
    }
    if (errorText)
        errorText->clear();
    return colors;
}

QList<ThemeInfo> availableThemes()
{
    const QDir dir(themeDirectory());
    QList<ThemeInfo> themes;
    const QFileInfoList files =
        dir.entryInfoList({QStringLiteral("*.ini")}, QDir::Files, QDir::Name);
    for (const QFileInfo &file : files) {
        bool ok = false;
        const QHash<QString, QString> values = readIniFile(file.filePath(), ok);
        if (!ok)
            continue;
        ThemeInfo info;
        info.id = file.completeBaseName();
        info.name = values.value(QStringLiteral("theme/name"));
        if (info.name.isEmpty())
            info.name = info.id;
        info.family = values.value(QStringLiteral("theme/family"));
        bool isNumber = false;
        const int order = values.value(QStringLiteral("theme/order")).toInt(&isNumber, 10);
        info.order = isNumber ? order : 0;
        themes.append(info);
    }
    std::stable_sort(themes.begin(), themes.end(), [](const ThemeInfo &a, const ThemeInfo &b) {
        if (a.order != b.order)
            return a.order < b.order;
        return QString::localeAwareCompare(a.name, b.name) < 0;
    });
    return themes;
}

bool tokenLongerFirst(const QString &a, const QString &b)
{
    if (a.size() != b.size())
        return a.size() > b.size();
    return QString::compare(a, b, Qt::CaseSensitive) < 0;
}

QString themeStyleSheet(const QHash<QString, QColor> &colors)
{
    QFile file(QStringLiteral(":/styles/tallowk.qss.in"));
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return QString();
    QString sheet = QString::fromUtf8(file.readAll());
    QStringList tokens = colors.keys();
    std::sort(tokens.begin(), tokens.end(), tokenLongerFirst);
    for (const QString &token : tokens)
        sheet.replace(QLatin1Char('@') + token, colors.value(token).name(), Qt::CaseSensitive);
    return sheet;
}

void applyTheme(QApplication *app, const QString &id)
{
    if (!app)
        return;
    // Once a style sheet is set, Qt wraps the application style in its own
    // style-sheet style, so the installed style is remembered as well as
    // looked for by name; otherwise every theme change would add a style.
    static QPointer<QStyle> installed;
    if (!installed && QApplication::style()->objectName() != themeStyleName()) {
        if (QStyle *fusion = QStyleFactory::create(QStringLiteral("Fusion"))) {
            installed = new UnanimatedDockStyle(fusion);
            QApplication::setStyle(installed);
        }
    }

    QHash<QString, QColor> colors = loadTheme(id);
    if (colors.isEmpty() && id != defaultThemeName())
        colors = loadTheme(defaultThemeName());
    if (colors.isEmpty())
        return;

    QPalette palette;
    const auto set = [&palette, &colors](QPalette::ColorGroup group, QPalette::ColorRole role,
                                         const char *token) {
        palette.setBrush(group, role, QBrush(colors.value(QLatin1String(token))));
    };
    const QPalette::ColorGroup all = QPalette::All;
    set(all, QPalette::Window, "void");
    set(all, QPalette::WindowText, "text");
    set(all, QPalette::Base, "panel");
    set(all, QPalette::AlternateBase, "alternate");
    set(all, QPalette::Text, "text");
    set(all, QPalette::PlaceholderText, "text-dim");
    set(all, QPalette::Button, "elevated");
    set(all, QPalette::ButtonText, "text");
    set(all, QPalette::BrightText, "danger");
    set(all, QPalette::ToolTipBase, "panel");
    set(all, QPalette::ToolTipText, "text");
    set(all, QPalette::Highlight, "accent");
    set(all, QPalette::HighlightedText, "selection-text");
    set(all, QPalette::Link, "accent");
    set(all, QPalette::LinkVisited, "line-strong");
    set(all, QPalette::Light, "line-strong");
    set(all, QPalette::Midlight, "line");
    set(all, QPalette::Mid, "line");
    set(all, QPalette::Dark, "void");
    palette.setBrush(all, QPalette::Shadow, QBrush(Qt::black));
    const QPalette::ColorGroup disabled = QPalette::Disabled;
    set(disabled, QPalette::WindowText, "text-disabled");
    set(disabled, QPalette::Text, "text-disabled");
    set(disabled, QPalette::ButtonText, "text-disabled");
    set(disabled, QPalette::HighlightedText, "text-disabled");
    set(disabled, QPalette::Highlight, "accent-deep");
    set(disabled, QPalette::Base, "void");
    set(disabled, QPalette::Button, "void");
    QApplication::setPalette(palette);

    const QString sheet = themeStyleSheet(colors);
    if (!sheet.isEmpty())
        app->setStyleSheet(sheet);

    const QList<QWidget *> windows = QApplication::topLevelWidgets();
    for (QWidget *window : windows) {
        window->style()->unpolish(window);
        window->style()->polish(window);
        window->update();
    }
}

} // namespace ThemeManager
} // namespace pv
