#include "core/NameTranslator.h"

#include "core/AppSettings.h"
#include "core/Errata.h"
#include "core/Log.h"
#include "core/TaggedJsonFile.h"

#include <QCoreApplication>
#include <QDir>
#include <QJsonObject>
#include <QStringList>

#include <algorithm>

namespace pv {

namespace {

const QString category = QStringLiteral("names");
const QString formatTag = QStringLiteral("tallowk-translations");
const char *const enabledKey = "display/translateJapaneseNames";

QString tr(const char *text) { return QCoreApplication::translate("pv::NameTranslator", text); }

QString nfkc(const QString &text) { return text.normalized(QString::NormalizationForm_KC); }

// Trailing mechanics, tried in this order; the first that fits wins.
const QStringList &suffixes()
{
    static const QStringList list = {
        QStringLiteral("V-UNION"), QStringLiteral("VMAX"), QStringLiteral("VSTAR"),
        QStringLiteral("BREAK"),   QStringLiteral("LV.X"), QStringLiteral("Lv.X"),
        QStringLiteral("GX"),      QStringLiteral("EX"),   QStringLiteral("ex"),
        QStringLiteral("V"),       QStringLiteral("\u03B4"), QStringLiteral("\u2606"),
    };
    return list;
}

QHash<QString, QString> readSection(const QJsonObject &document, const char *name, bool normalise)
{
    QHash<QString, QString> map;
    const QJsonObject section = document.value(QLatin1String(name)).toObject();
    for (auto it = section.constBegin(); it != section.constEnd(); ++it) {
        const QString value = it.value().isString() ? it.value().toString() : QString();
        if (it.key().isEmpty() || value.isEmpty())
            continue;
        map.insert(normalise ? nfkc(it.key()) : it.key(), value);
    }
    return map;
}

struct EnabledSetting
{
    bool read = false;
    bool on = true;
};

EnabledSetting &enabledSetting()
{
    static EnabledSetting setting;
    return setting;
}

// A set or series is named by its id first, then by its Japanese name.
QString byIdOrName(const QHash<QString, QString> &ids, const QHash<QString, QString> &names,
                   const QString &id, const QString &name)
{
    const auto byId = ids.constFind(id);
    if (byId != ids.constEnd())
        return byId.value();
    if (name.isEmpty())
        return name;
    return names.value(nfkc(name), name);
}

bool translates(Language language) { return language == Language::Japanese && NameTranslator::isEnabled(); }

} // namespace

NameTranslator &NameTranslator::instance()
{
    static NameTranslator translator;
    return translator;
}

QString NameTranslator::tablePath()
{
    return QCoreApplication::applicationDirPath() + QStringLiteral("/names/ja-en.json");
}

void NameTranslator::reset()
{
    m_cards.clear();
    m_owners.clear();
    m_sets.clear();
    m_setNames.clear();
    m_series.clear();
    m_serieNames.clear();
    m_formPrefixes.clear();
}

void NameTranslator::load() { loadFile(tablePath()); }

void NameTranslator::loadFile(const QString &path)
{
    NameTranslator &t = instance();
    t.reset();
    t.m_loaded = true;

    const QString nativePath = QDir::toNativeSeparators(path);
    const TaggedJsonFile file = TaggedJsonFile::read(path, formatTag);
    switch (file.status) {
    case TaggedJsonFile::NotOpened:
        Log::info(category, tr("No name table at %1; Japanese names are shown as the API spells them.")
                                .arg(nativePath));
        return;
    case TaggedJsonFile::Malformed:
        Log::error(category, tr("Name table %1 is malformed at offset %2: %3")
                                 .arg(nativePath, QString::number(file.errorOffset), file.errorMessage));
        return;
    case TaggedJsonFile::ForeignTag:
        Log::error(category, tr("%1 is not a name table (its format tag is not \"%2\").")
                                 .arg(nativePath, formatTag));
        return;
    case TaggedJsonFile::Ok:
        break;
    }

    const QJsonObject &document = file.object;
    t.m_cards = readSection(document, "cards", true);
    t.m_owners = readSection(document, "owners", true);
    t.m_setNames = readSection(document, "setNames", true);
    t.m_serieNames = readSection(document, "serieNames", true);
    t.m_sets = readSection(document, "sets", false);
    t.m_series = readSection(document, "series", false);
    const QHash<QString, QString> forms = readSection(document, "forms", true);
    for (auto it = forms.constBegin(); it != forms.constEnd(); ++it)
        t.m_formPrefixes.append(qMakePair(it.key(), it.value()));
    std::stable_sort(t.m_formPrefixes.begin(), t.m_formPrefixes.end(),
                     [](const QPair<QString, QString> &a, const QPair<QString, QString> &b) {
                         return a.first.size() > b.first.size();
                     });

    Log::info(category, tr("Name table loaded from %1: %2 cards, %3 sets, %4 series, %5 owners, "
                           "%6 form prefixes.")
                            .arg(nativePath, QString::number(t.m_cards.size()),
                                 QString::number(t.m_sets.size() + t.m_setNames.size()),
                                 QString::number(t.m_series.size()), QString::number(t.m_owners.size()),
                                 QString::number(t.m_formPrefixes.size())));
}

void NameTranslator::loadIfNeeded()
{
    if (!instance().m_loaded)
        load();
}

bool NameTranslator::isEnabled()
{
    EnabledSetting &setting = enabledSetting();
    if (!setting.read) {
        AppSettings settings;
        setting.on = settings.value(QLatin1String(enabledKey), true).toBool();
        setting.read = true;
    }
    return setting.on;
}

void NameTranslator::setEnabled(bool on)
{
    {
        AppSettings settings;
        settings.setValue(QLatin1String(enabledKey), on);
    }
    EnabledSetting &setting = enabledSetting();
    setting.on = on;
    setting.read = true;
}

QString NameTranslator::translatePart(const QString &part) const
{
    const auto direct = m_cards.constFind(part);
    if (direct != m_cards.constEnd())
        return direct.value();
    for (const auto &form : m_formPrefixes) {
        for (const QString &prefix : {form.first, form.first + QLatin1Char(' ')}) {
            if (part.size() <= prefix.size() || !part.startsWith(prefix))
                continue;
            const auto rest = m_cards.constFind(part.mid(prefix.size()));
            if (rest != m_cards.constEnd())
                return form.second + QLatin1Char(' ') + rest.value();
        }
    }
    return QString();
}

QString NameTranslator::composeCardName(const QString &name) const
{
    const QString n = nfkc(name);
    const auto whole = m_cards.constFind(n);
    if (whole != m_cards.constEnd())
        return whole.value();

    // Set a trailing mechanic aside; it must leave a non-empty base.
    QString base = n;
    QString suffix;
    for (const QString &s : suffixes()) {
        if (n.size() > s.size() && n.endsWith(s)) {
            suffix = s;
            base = n.left(n.size() - s.size());
            break;
        }
    }
    const QString tail = suffix.isEmpty() ? QString() : QLatin1Char(' ') + suffix;

    if (!suffix.isEmpty()) {
        const auto species = m_cards.constFind(base);
        if (species != m_cards.constEnd())
            return species.value() + tail;
    }

    if (base.contains(QLatin1Char('&'))) {
        QStringList halves;
        const QStringList pieces = base.split(QLatin1Char('&'), Qt::SkipEmptyParts);
        // A name of nothing but separators must not come back empty.
        if (pieces.isEmpty())
            return name;
        for (const QString &piece : pieces) {
            const QString english = translatePart(piece.trimmed());
            if (english.isEmpty())
                return name;
            halves.append(english);
        }
        return halves.join(QStringLiteral(" & ")) + tail;
    }

    const QString part = translatePart(base);
    if (!part.isEmpty())
        return part + tail;

    if (base.endsWith(QLatin1Char('X')) || base.endsWith(QLatin1Char('Y'))) {
        const QString letterForm = translatePart(base.left(base.size() - 1));
        if (!letterForm.isEmpty())
            return letterForm + QLatin1Char(' ') + base.right(1) + tail;
    }

    const int of = base.indexOf(QChar(0x306E));  // の
    if (of > 0 && of < base.size() - 1) {
        const auto owner = m_owners.constFind(base.left(of));
        const QString rest = translatePart(base.mid(of + 1));
        if (owner != m_owners.constEnd() && !rest.isEmpty()) {
            const QString possessive = owner.value().endsWith(QLatin1Char('s')) ? QStringLiteral("'")
                                                                                 : QStringLiteral("'s");
            return owner.value() + possessive + QLatin1Char(' ') + rest + tail;
        }
    }
    return name;
}

QString NameTranslator::translateCardName(Language language, const QString &name)
{
    if (name.isEmpty() || !translates(language))
        return name;
    loadIfNeeded();
    return instance().composeCardName(name);
}

QString NameTranslator::displayName(Language language, const QString &cardId, const QString &name)
{
    if (name.isEmpty() || !translates(language))
        return name;
    const QString override = Errata::nameOverride(Language::Japanese, cardId);
    if (override.isEmpty())
        return translateCardName(Language::Japanese, name);
    if (Errata::markNameNoticed(Language::Japanese, cardId)
        && translateCardName(Language::Japanese, name) == override)
        Errata::noteRedundantName(Language::Japanese, cardId);
    return override;
}

QString NameTranslator::translateSetName(Language language, const QString &setId, const QString &name)
{
    if (!translates(language))
        return name;
    loadIfNeeded();
    return byIdOrName(instance().m_sets, instance().m_setNames, setId, name);
}

QString NameTranslator::translateSerieName(Language language, const QString &serieId, const QString &name)
{
    if (!translates(language))
        return name;
    loadIfNeeded();
    return byIdOrName(instance().m_series, instance().m_serieNames, serieId, name);
}

int NameTranslator::entryCount() const
{
    return m_cards.size() + m_owners.size() + m_sets.size() + m_setNames.size() + m_series.size()
           + m_serieNames.size() + m_formPrefixes.size();
}

int NameTranslator::count() { return instance().entryCount(); }

bool NameTranslator::isLoaded() { return count() > 0; }

} // namespace pv
