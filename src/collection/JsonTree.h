#pragma once

#include <QByteArray>
#include <QJsonDocument>
#include <QJsonParseError>
#include <QJsonValue>
#include <QLatin1String>
#include <QString>
#include <QStringList>

#include <simdjson.h>

#include <array>
#include <deque>
#include <initializer_list>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

namespace pv {

class JsonValueRef;

// A fixed set of distinct ASCII names: the member names JsonValueRef::pick()
// looks up in one pass over an object, or the words JsonValueRef::wordIndex()
// tells a string apart by. (Of a name given twice, only the first counts.)
class JsonNameSet
{
public:
    JsonNameSet(std::initializer_list<const char *> names);
    explicit JsonNameSet(const QStringList &names);

    int size() const { return int(m_names.size()); }
    QLatin1String name(int index) const
    {
        const std::string &name = m_names[size_t(index)];
        return QLatin1String(name.data(), qsizetype(name.size()));
    }

    // The position of the name spelt by these UTF-8 bytes, or -1.
    int indexOf(std::string_view key) const
    {
        if (key.empty())
            return m_empty;
        const int slot = m_slots[slotOf(key)];
        if (slot >= 0)
            return m_names[size_t(slot)] == key ? slot : -1;
        return slot == kNone ? -1 : indexOfShared(key);
    }

private:
    static constexpr int kNone = -1;
    static constexpr int kShared = -2; // more than one name falls on the slot
    static size_t slotOf(std::string_view key)
    {
        return (key.size() * 31 + uchar(key.front()) * 7 + uchar(key.back())) % kSlots;
    }
    void add(std::string name);
    int indexOfShared(std::string_view key) const;

    static constexpr size_t kSlots = 256;
    std::vector<std::string> m_names;
    std::array<int, kSlots> m_slots;
    int m_empty = -1;
};

// A parsed JSON document. A file is accepted or refused exactly as
// QJsonDocument would take it, and a refused one carries QJsonDocument's own
// error and offset. Well-formed JSON is parsed by simdjson. The few inputs
// simdjson refuses but QJsonDocument accepts (lone surrogate escapes, lax
// escapes and numbers, raw control characters in strings, integers beyond
// 64 bits), and those the two would read apart (a root that is neither
// object nor array, a number that may underflow to zero, a string starting
// with U+FEFF), are left to QJsonDocument, which then also reads
// them, so their values are Qt's too.
class JsonTree
{
public:
    JsonTree();
    ~JsonTree();
    JsonTree(JsonTree &&) noexcept;
    JsonTree &operator=(JsonTree &&) noexcept;

    // An object or array as the root; on failure the tree is empty and the
    // error tells why. Parsing avoids a copy of the text when it has
    // simdjson::SIMDJSON_PADDING bytes of spare capacity (see paddedBuffer).
    static JsonTree parse(const QByteArray &text, QJsonParseError *error);

    // An empty array with room for size bytes plus the padding parse() wants.
    static QByteArray paddedBuffer(qsizetype size);

    // The root value; undefined for an empty tree.
    JsonValueRef root() const;

private:
    std::unique_ptr<simdjson::dom::parser> m_parser;
    simdjson::dom::element m_root;
    bool m_hasRoot = false;
    QJsonDocument m_fallback; // set when QJsonDocument read the text
    // The values of the QJsonDocument handed out so far, so that a handle
    // stays a pair of plain pointers.
    std::unique_ptr<std::deque<QJsonValue>> m_fallbackValues;
};

// Hands out one shared QString per distinct string value, so that records
// repeating a text (set ids, card numbers, rarities, price times) share it
// rather than each holding a copy. Use it only while the values' tree lives.
class JsonStringPool
{
public:
    QString text(const JsonValueRef &value);

private:
    std::unordered_map<std::string_view, QString> m_texts; // keyed by the tree's own bytes
};

// A read-only handle on one value of a JsonTree. A missing value is
// undefined and answers every question with its default, as QJsonValue does:
// text of a non-string is empty, a number of a non-number is the default, and
// so on. A handle is valid while its tree lives.
class JsonValueRef
{
public:
    JsonValueRef() = default;

    bool isUndefined() const;
    bool isNull() const;
    bool isBool() const;
    bool isDouble() const;
    bool isString() const;
    bool isArray() const;
    bool isObject() const;

    QString toString() const;
    double toDouble(double defaultValue = 0.0) const;
    // The number when it is a whole number within the int range, else the default.
    int toInt(int defaultValue = 0) const;
    // The number when it is a whole number JSON carries exactly (within
    // 2^53 either way), else the default.
    qint64 toInt64(qint64 defaultValue = 0) const;
    bool toBool(bool defaultValue = false) const;

    // The position in words of the word this string spells exactly; -1 for
    // any other string or value.
    int wordIndex(const JsonNameSet &words) const;

    // Object members; with a repeated name the last one counts.
    JsonValueRef value(QLatin1String key) const;
    bool contains(QLatin1String key) const;
    // Sets found[i] to value(names.name(i)) for every name of the set, in one
    // pass over the members; found holds names.size() values.
    void pick(const JsonNameSet &names, JsonValueRef *found) const;

    // Elements of an array, or members of an object; 0 for anything else.
    int size() const;
    // Every element of an array in order; empty for anything else. Walking
    // an array through at() costs time in proportion to the index.
    std::vector<JsonValueRef> elements() const;
    // Every member of an object with its name. Members read by simdjson come
    // in file order, repeated names included; those read by QJsonDocument in
    // its sorted order, each name once.
    std::vector<std::pair<QString, JsonValueRef>> members() const;
    JsonValueRef at(int index) const;
    QString keyAt(int index) const; // the member name; empty for an array

private:
    friend class JsonTree;
    friend class JsonStringPool;
    enum class Source : quint8 { None, Simd, Qt };

    explicit JsonValueRef(simdjson::dom::element element)
        : m_element(element)
        , m_source(Source::Simd)
    {
    }
    JsonValueRef(std::deque<QJsonValue> *store, QJsonValue value);

    simdjson::dom::element_type simdType() const { return m_element.type(); }

    simdjson::dom::element m_element;
    std::deque<QJsonValue> *m_store = nullptr; // for values of the QJsonDocument
    const QJsonValue *m_qt = nullptr;
    Source m_source = Source::None;
};

} // namespace pv
