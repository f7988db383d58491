#pragma once

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QSet>
#include <QString>

#include <memory>

// The recorded answers the stand-in replays, loaded once per process and
// never changed afterwards: the card database answers of each language, the
// TCGCSV answers of both categories and the image addresses the card
// database names. Bodies are slices of the decompressed files.
namespace pv::test {

class StandInData
{
public:
    // The folder holding tcgdex/ and tcgcsv/: the environment variable
    // TALLOWK_STANDIN_DATA when set, else the copy in the source tree.
    static QString defaultDirectory();

    // Loads (or returns the already loaded) data of a folder; null with an
    // error text when a file is missing or damaged.
    static std::shared_ptr<const StandInData> load(const QString &directory, QString *error);

    // The public image host that the recorded addresses point at.
    static QByteArray publicAssetsOrigin();

    bool hasLanguage(const QByteArray &language) const;
    // The recorded card database answer under a request key, null when none.
    QByteArray cardDatabaseBody(const QByteArray &language, const QByteArray &key) const;
    // The recorded key of a single-item request spelt in another case, or of
    // a query sent with its items in another order; empty when none.
    QByteArray cardDatabaseKeyIgnoringCase(const QByteArray &language, const QByteArray &key) const;
    QByteArray cardDatabaseKeyInAnyOrder(const QByteArray &language, const QByteArray &key) const;
    // Keys of the answers at least minimumSize bytes long.
    QList<QByteArray> largeCardDatabaseKeys(const QByteArray &language, qsizetype minimumSize) const;
    int cardDatabaseAnswerCount(const QByteArray &language) const;

    // The recorded TCGCSV answer of a path ("/tcgplayer/3/groups"), null when none.
    QByteArray tcgcsvBody(const QByteArray &path) const;
    int tcgcsvAnswerCount() const;

    // Whether the card database names this picture base, as a normalised
    // path of the public host ("/en/sv/sv03/001", "/univ/sv/sv03/symbol").
    bool hasAsset(const QByteArray &path) const;

    struct Language
    {
        QHash<QByteArray, QByteArray> bodies;
        QHash<QByteArray, QByteArray> keysIgnoringCase;
        QHash<QByteArray, QByteArray> keysInAnyOrder;
    };

private:
    QList<QByteArray> m_buffers;  // owners of every body slice
    QHash<QByteArray, Language> m_languages;
    QHash<QByteArray, QByteArray> m_tcgcsv;
    QSet<QByteArray> m_assets;
};

// Unescapes the text between the quotes of a JSON string and appends it as UTF-8.
void appendJsonStringText(QByteArray &out, const char *text, qsizetype size);

} // namespace pv::test
