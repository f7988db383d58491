#pragma once

#include "core/CardBrief.h"
#include "core/CardVocabulary.h"

#include <QHash>
#include <QObject>
#include <QPair>
#include <QSet>
#include <QString>

namespace pv {

class TcgdexClient;

// Which cards of each catalog language show the Pokemon of a national
// Pokedex number. Each number is asked of the card database once per
// language; the answers of a language are kept in a small cache file so they
// survive a restart. GUI thread only.
class DexIndex : public QObject
{
    Q_OBJECT
public:
    static constexpr char logCategory[] = "catalog";
    static constexpr char formatTag[] = "tallowk-dex";
    static constexpr int formatVersion = 1;

    // client is not owned and may be null; then nothing is ever asked.
    explicit DexIndex(TcgdexClient *client, QObject *parent = nullptr);

    static QString cachePath(pv::Language language);
    // The entries of a cache file's bytes; empty with the reason in *problem
    // when the file is damaged, foreign or newer.
    static QHash<int, QSet<QString>> readCache(const QByteArray &bytes, QString *problem);

    // Makes the number known: dexReady or dexFailed follows, never inside this call.
    void request(pv::Language language, int dexId);
    bool contains(pv::Language language, int dexId) const;
    QSet<QString> cardsFor(pv::Language language, int dexId) const;

Q_SIGNALS:
    void dexReady(pv::Language language, int dexId);
    void dexFailed(pv::Language language, int dexId, const QString &message);

private:
    struct LanguageEntry
    {
        QHash<int, QSet<QString>> entries;
        bool dirty = false;
    };

    void onResolved(int requestId, pv::Language language, int dexId, const QList<pv::CardBrief> &cards);
    void onFailed(int requestId, const QString &context, const QString &message);
    void loadCache(Language language);
    void discard(Language language, const QString &reason);
    void saveCache(Language language);

    TcgdexClient *m_client = nullptr;
    QHash<Language, LanguageEntry> m_index;
    QHash<Language, bool> m_loaded;
    QHash<int, QPair<Language, int>> m_pending;
};

} // namespace pv
