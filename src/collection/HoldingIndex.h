#pragma once

#include "collection/CardEntry.h"
#include "collection/CardIdTable.h"
#include "collection/EntryKeys.h"

#include <QHash>
#include <QList>
#include <QSet>
#include <QString>

#include <vector>

namespace pv {

// Where the collection's holdings are, by merge key and by card: the first
// row holding each key, every row holding each card, and the cards some of
// whose rows have no rarity yet. A plain value, built from a list of
// holdings on any thread and then kept up to date row by row by its owner.
//
// Keys are numbers, not texts: the card numbered in a table of the cards
// met, the finish, edition and grade note numbered as texts met, language,
// condition and grading company as they are. Two holdings have one key
// exactly when their key texts (entryKey()) are equal: a holding whose texts
// hold the separator itself is keyed by its whole key text instead. A key is
// looked for among the holdings of its card, which are few, rather than in a
// table of every key: building the index then costs a look-up a card, not
// one more a row.
//
// Holdings are named by numbers of their own, which rows inserted or removed
// above them leave as they are; a number freed by a holding removed names
// the next holding inserted.
class HoldingIndex
{
public:
    HoldingIndex() = default;
    explicit HoldingIndex(const QList<CardEntry> &entries);

    // Whether built, and for how many rows.
    bool isBuilt() const { return m_built; }
    qsizetype rows() const { return qsizetype(m_holdingOfRow.size()); }
    // How many numbers name holdings, those freed included.
    qsizetype names() const { return qsizetype(m_rowOfHolding.size()); }

    // The first row holding the key text, or -1.
    int rowOfKey(const QString &key) const;
    // Every row holding the card, ascending.
    QList<int> rowsOfCard(Language language, const QString &cardId) const;
    // How many cards (of the language, as keyed) have been numbered, those
    // no row holds any more included; the language and id of each number.
    qsizetype cardsNumbered() const { return qsizetype(m_cardIds.size()); }
    qsizetype cardsNumbered(Language language) const;
    const std::pair<Language, QString> &numberedCard(int card) const { return m_cardIds[size_t(card)]; }
    // The number of each row's card.
    std::vector<int> cardOfEachRow() const;
    // The cards that have rows without a rarity, in the order numbered:
    // language, card id (valid until the index changes) and those rows,
    // ascending, at [begin, end) of rows.
    struct Unnamed
    {
        int card;
        Language language;
        const QString *cardId;
        qsizetype begin;
        qsizetype end;
    };
    std::vector<Unnamed> cardsWithoutRarity(const QList<CardEntry> &entries, std::vector<int> &rows) const;
    // The first row holding each card, ascending.
    std::vector<int> firstRowsOfCards() const;
    // How many sets (language as the row gives it, set id as spelt) rows
    // name, and how many rows give a language the key reads as another.
    qsizetype setsHeld() const { return m_setRows.size(); }
    qsizetype rowsOfOtherLanguages() const { return m_otherLanguageRows; }

    // The holding placed in the row, the later ones moving down.
    void insertRow(int row, const CardEntry &entry);
    // The row's holding leaves, the later ones moving up.
    void removeRow(int row, const CardEntry &entry);
    // The row's holding replaced.
    void editRow(int row, const CardEntry &before, const CardEntry &after);
    // The row's holding, which had no rarity, given one.
    void nameRarity(const CardEntry &entry);
    // So many rows of the card (Unnamed::card) given one.
    void nameRarities(int card, qsizetype rows);

    // Between these, rows inserted and removed cost a look-up among blocks
    // of rows instead of renumbering every row after them; the numbering is
    // worked out again at the end, in one pass.
    void beginManyMoves();
    void endManyMoves();

private:
    // What keys a holding besides its card: the numbers of the finish,
    // edition and grade note texts, and condition and grading company in one
    // number. A holding keyed by its whole key text has that text's number
    // as its finish and WholeText as the rest.
    struct Key
    {
        quint32 variant = 0;
        quint32 edition = 0;
        quint32 note = 0;
        quint32 small = 0;
        bool isWholeText() const { return small == WholeText; }
        friend bool operator==(const Key &a, const Key &b)
        {
            return a.variant == b.variant && a.edition == b.edition && a.note == b.note && a.small == b.small;
        }
    };
    static constexpr quint32 WholeText = 0xFFFFFFFFu;
    class BuildTexts;

    int cardNumber(Language language, const QString &cardId);
    quint32 textNumber(QStringView text);
    // The number of a text met before (0 for the empty text), or -1.
    qint64 knownTextNumber(QStringView text) const;
    Key keyOf(const CardEntry &entry);

    int holdingAt(int row) const;
    int rowOf(int holding) const { return m_rowOfHolding[size_t(holding)]; }
    int newHolding();
    void addKey(const Key &key, int holding);
    void removeKey(const Key &key, int holding);
    void addToCard(int card, int holding);
    void removeFromCard(int card, int holding);
    void countUnnamed(int card, const CardEntry &entry, int by);
    void listUnnamed(int card, bool listed);
    void countPlace(const CardEntry &entry, int by);
    // Where, among holdings in ascending rows, the row's holding goes.
    QList<int>::iterator lowerBound(QList<int> &holdings, int row) const;
    void sortByRow(QList<int> &holdings) const;

    bool m_built = false;
    CardIdTable m_cards;
    // Language and id of each card numbered; keeps the texts the table
    // points at.
    std::vector<std::pair<Language, QString>> m_cardIds;
    // Each card's holdings, in ascending rows; and how many have no rarity.
    std::vector<QList<int>> m_cardHoldings;
    std::vector<int> m_cardUnnamed;
    // The cards with such rows, in no order, and where each is among them
    // (-1 for none).
    std::vector<int> m_unnamedCards;
    std::vector<int> m_unnamedAt;
    // Rows of each set, and rows whose language keys as another.
    QHash<std::pair<int, QString>, qint64> m_setRows;
    qsizetype m_otherLanguageRows = 0;
    QHash<QString, quint32> m_texts;
    // Each holding's key after its card; a key is found among its card's
    // holdings, in ascending rows. Holdings keyed by their whole key texts,
    // by that text's number, ascending.
    std::vector<Key> m_keyOfHolding;
    QHash<quint32, QList<int>> m_wholeTextKeys;
    std::vector<int> m_rowOfHolding;
    std::vector<int> m_holdingOfRow;
    std::vector<int> m_freeHoldings;

    // While many rows move: the holdings in row order, in blocks; and what
    // is put in ascending rows again at the end.
    bool m_manyMoves = false;
    std::vector<std::vector<int>> m_blocks;
    QSet<int> m_touchedCards;
    QSet<quint32> m_touchedWholeTexts;
};

} // namespace pv
