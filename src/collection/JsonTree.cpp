#include "collection/JsonTree.h"

#include <QJsonArray>
#include <QJsonObject>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>
#include <limits>

namespace pv {

namespace {

namespace dom = simdjson::dom;

constexpr char kByteOrderMark[] = "\xef\xbb\xbf";

// Whether the text holds a run of at least n '0' bytes. Any such run
// covers a multiple of n / 2, so only those bytes are looked at first.
bool hasZeroRun(std::string_view text, size_t n)
{
    const size_t step = n / 2;
    size_t checkedUpTo = 0; // bytes before this are known to end no long run
    for (size_t at = step; at < text.size(); at += step) {
        if (text[at] != '0' || at < checkedUpTo)
            continue;
        size_t begin = at;
        while (begin > 0 && text[begin - 1] == '0')
            --begin;
        size_t end = at + 1;
        while (end < text.size() && text[end] == '0')
            ++end;
        if (end - begin >= n)
            return true;
        checkedUpTo = end;
    }
    return false;
}

// Whether the text may hold a number that underflows to zero, which
// QJsonDocument refuses: one with a negative exponent, or a fraction with
// hundreds of zeros before its first other digit.
bool mayUnderflow(std::string_view text)
{
    const char *const begin = text.data();
    const char *const end = begin + text.size();
    for (const char *at = begin; at < end; ++at) {
        at = static_cast<const char *>(std::memchr(at, '-', size_t(end - at)));
        if (!at)
            break;
        if (at - begin >= 2 && (at[-1] == 'e' || at[-1] == 'E') && at[-2] >= '0' && at[-2] <= '9')
            return true;
    }
    return hasZeroRun(text, 300);
}

// Whether a string of the text may start with U+FEFF: written out, or as an
// escape.
bool mayHoldByteOrderMark(std::string_view text)
{
    const char *const begin = text.data();
    const char *const end = begin + text.size();
    if (std::memchr(begin, kByteOrderMark[0], text.size()))
        return true;
    for (const char *at = begin; at < end; ++at) {
        at = static_cast<const char *>(std::memchr(at, '\\', size_t(end - at)));
        if (!at)
            break;
        if (at + 1 < end && at[1] == 'u')
            return true;
    }
    return false;
}

// Whether the parsed document holds a value simdjson and QJsonDocument may
// take differently, so that it is left to QJsonDocument:
// - a number simdjson read as zero that QJsonDocument may refuse as an
//   underflow;
// - a string or name that starts with U+FEFF: QJsonDocument drops it from a
//   string without escapes and keeps it in one with escapes.
// Looks at the text first: most texts can hold neither. Then scans the tape:
// numbers take two words, strings point into the string buffer (a 32-bit
// length, then the bytes).
bool needsQtReading(const dom::document &document, std::string_view text)
{
    const bool zerosMayUnderflow = mayUnderflow(text);
    const bool mayStartWithMark = mayHoldByteOrderMark(text);
    if (!zerosMayUnderflow && !mayStartWithMark)
        return false;
    const uint64_t *tape = document.tape.get();
    const uint8_t *strings = document.string_buf.get();
    constexpr uint64_t payloadMask = (uint64_t(1) << 56) - 1;
    const uint64_t end = tape[0] & payloadMask;
    for (uint64_t i = 1; i < end; ++i) {
        const char type = char(tape[i] >> 56);
        if (type == 'd') {
            double number;
            std::memcpy(&number, &tape[i + 1], sizeof number);
            if (number == 0.0 && zerosMayUnderflow)
                return true;
            ++i;
        } else if (type == 'l' || type == 'u') {
            ++i;
        } else if (type == '"' && mayStartWithMark) {
            const uint8_t *string = strings + (tape[i] & payloadMask);
            uint32_t length;
            std::memcpy(&length, string, sizeof length);
            if (length >= 3 && std::memcmp(string + sizeof length, kByteOrderMark, 3) == 0)
                return true;
        }
    }
    return false;
}

QString fromUtf8(std::string_view bytes)
{
    return QString::fromUtf8(bytes.data(), qsizetype(bytes.size()));
}

bool sameKey(std::string_view key, std::string_view name)
{
    return key.size() == name.size() && std::memcmp(key.data(), name.data(), key.size()) == 0;
}

} // namespace

// ---------------------------------------------------------------- JsonNameSet

JsonNameSet::JsonNameSet(std::initializer_list<const char *> names)
{
    m_slots.fill(kNone);
    for (const char *name : names)
        add(name);
}

JsonNameSet::JsonNameSet(const QStringList &names)
{
    m_slots.fill(kNone);
    for (const QString &name : names)
        add(name.toLatin1().toStdString());
}

void JsonNameSet::add(std::string name)
{
    const int index = int(m_names.size());
    if (name.empty()) {
        if (m_empty < 0)
            m_empty = index;
    } else {
        int &slot = m_slots[slotOf(name)];
        slot = slot == kNone ? index : kShared;
    }
    m_names.push_back(std::move(name));
}

int JsonNameSet::indexOfShared(std::string_view key) const
{
    for (size_t i = 0; i < m_names.size(); ++i) {
        if (m_names[i] == key)
            return int(i);
    }
    return -1;
}

// ---------------------------------------------------------------- JsonStringPool

QString JsonStringPool::text(const JsonValueRef &value)
{
    std::string_view bytes;
    if (value.m_source != JsonValueRef::Source::Simd || value.m_element.get_string().get(bytes) != simdjson::SUCCESS)
        return value.toString();
    auto found = m_texts.find(bytes);
    if (found == m_texts.end())
        found = m_texts.emplace(bytes, fromUtf8(bytes)).first;
    return found->second;
}

// ---------------------------------------------------------------- JsonTree

JsonTree::JsonTree() = default;
JsonTree::~JsonTree() = default;
JsonTree::JsonTree(JsonTree &&) noexcept = default;
JsonTree &JsonTree::operator=(JsonTree &&) noexcept = default;

QByteArray JsonTree::paddedBuffer(qsizetype size)
{
    QByteArray buffer;
    buffer.reserve(size + qsizetype(simdjson::SIMDJSON_PADDING));
    return buffer;
}

JsonTree JsonTree::parse(const QByteArray &text, QJsonParseError *error)
{
    JsonTree tree;
    const char *data = text.constData();
    size_t length = size_t(text.size());
    // simdjson reads up to SIMDJSON_PADDING bytes past the end; without that
    // much spare room it parses a padded copy. (data_ptr() only looks.)
    const bool padded = const_cast<QByteArray &>(text).data_ptr().freeSpaceAtEnd()
        >= qsizetype(simdjson::SIMDJSON_PADDING);
    // QJsonDocument takes one byte order mark before the document.
    if (length >= 3 && std::memcmp(data, kByteOrderMark, 3) == 0) {
        data += 3;
        length -= 3;
    }

    tree.m_parser = std::make_unique<dom::parser>();
    const simdjson::error_code failure = tree.m_parser->parse(data, length, !padded).get(tree.m_root);
    if (failure == simdjson::SUCCESS
        && (tree.m_root.type() == dom::element_type::OBJECT || tree.m_root.type() == dom::element_type::ARRAY)
        && !needsQtReading(tree.m_parser->doc, std::string_view(data, length))) {
        tree.m_hasRoot = true;
        if (error) {
            error->error = QJsonParseError::NoError;
            error->offset = 0;
        }
        return tree;
    }

    // Anything simdjson refuses, a root that is neither object nor array, or
    // a value the two may read apart: QJsonDocument decides, and reads.
    tree.m_parser.reset();
    tree.m_root = dom::element();
    QJsonParseError qtError;
    tree.m_fallback = QJsonDocument::fromJson(text, &qtError);
    if (error)
        *error = qtError;
    if (qtError.error != QJsonParseError::NoError)
        return JsonTree();
    tree.m_hasRoot = true;
    tree.m_fallbackValues = std::make_unique<std::deque<QJsonValue>>();
    return tree;
}

JsonValueRef JsonTree::root() const
{
    if (!m_hasRoot)
        return JsonValueRef();
    if (m_parser)
        return JsonValueRef(m_root);
    return JsonValueRef(m_fallbackValues.get(), m_fallback.isObject() ? QJsonValue(m_fallback.object())
                                                    : QJsonValue(m_fallback.array()));
}

// ---------------------------------------------------------------- JsonValueRef

JsonValueRef::JsonValueRef(std::deque<QJsonValue> *store, QJsonValue value)
    : m_store(store)
    , m_source(value.isUndefined() ? Source::None : Source::Qt)
{
    if (m_source == Source::Qt) {
        store->push_back(std::move(value));
        m_qt = &store->back();
    }
}

bool JsonValueRef::isUndefined() const
{
    return m_source == Source::None;
}

bool JsonValueRef::isNull() const
{
    switch (m_source) {
    case Source::Simd: return simdType() == dom::element_type::NULL_VALUE;
    case Source::Qt: return m_qt->isNull();
    case Source::None: break;
    }
    return false;
}

bool JsonValueRef::isBool() const
{
    switch (m_source) {
    case Source::Simd: return simdType() == dom::element_type::BOOL;
    case Source::Qt: return m_qt->isBool();
    case Source::None: break;
    }
    return false;
}

bool JsonValueRef::isDouble() const
{
    switch (m_source) {
    case Source::Simd: {
        const dom::element_type type = simdType();
        return type == dom::element_type::INT64 || type == dom::element_type::UINT64
            || type == dom::element_type::DOUBLE;
    }
    case Source::Qt: return m_qt->isDouble();
    case Source::None: break;
    }
    return false;
}

bool JsonValueRef::isString() const
{
    switch (m_source) {
    case Source::Simd: return simdType() == dom::element_type::STRING;
    case Source::Qt: return m_qt->isString();
    case Source::None: break;
    }
    return false;
}

bool JsonValueRef::isArray() const
{
    switch (m_source) {
    case Source::Simd: return simdType() == dom::element_type::ARRAY;
    case Source::Qt: return m_qt->isArray();
    case Source::None: break;
    }
    return false;
}

bool JsonValueRef::isObject() const
{
    switch (m_source) {
    case Source::Simd: return simdType() == dom::element_type::OBJECT;
    case Source::Qt: return m_qt->isObject();
    case Source::None: break;
    }
    return false;
}

QString JsonValueRef::toString() const
{
    if (m_source == Source::Qt)
        return m_qt->toString();
    std::string_view text;
    if (m_source != Source::Simd || m_element.get_string().get(text) != simdjson::SUCCESS)
        return QString();
    return fromUtf8(text);
}

double JsonValueRef::toDouble(double defaultValue) const
{
    if (m_source == Source::Qt)
        return m_qt->toDouble(defaultValue);
    if (m_source != Source::Simd)
        return defaultValue;
    // Integers convert as QJsonDocument converts them, rounded to nearest.
    switch (simdType()) {
    case dom::element_type::INT64: return double(int64_t(m_element));
    case dom::element_type::UINT64: return double(uint64_t(m_element));
    case dom::element_type::DOUBLE: {
        // QJsonDocument reads "-0.0" as plain zero.
        const double number = double(m_element);
        return number == 0.0 ? 0.0 : number;
    }
    default: return defaultValue;
    }
}

int JsonValueRef::toInt(int defaultValue) const
{
    // No whole number JSON carries exactly is this low.
    constexpr qint64 none = std::numeric_limits<qint64>::min();
    const qint64 number = toInt64(none);
    if (number == none || number < std::numeric_limits<int>::min() || number > std::numeric_limits<int>::max())
        return defaultValue;
    return int(number);
}

qint64 JsonValueRef::toInt64(qint64 defaultValue) const
{
    constexpr qint64 exact = qint64(1) << 53;
    if (m_source == Source::Simd && simdType() == dom::element_type::INT64) {
        const int64_t number = int64_t(m_element);
        return number < -exact || number > exact ? defaultValue : qint64(number);
    }
    if (!isDouble())
        return defaultValue;
    const double number = toDouble();
    if (number != std::trunc(number) || number < double(-exact) || number > double(exact))
        return defaultValue;
    return qint64(number);
}

bool JsonValueRef::toBool(bool defaultValue) const
{
    if (m_source == Source::Qt)
        return m_qt->toBool(defaultValue);
    if (m_source != Source::Simd || simdType() != dom::element_type::BOOL)
        return defaultValue;
    return bool(m_element);
}

JsonValueRef JsonValueRef::value(QLatin1String key) const
{
    if (m_source == Source::Qt)
        return m_qt->isObject() ? JsonValueRef(m_store, m_qt->toObject().value(key)) : JsonValueRef();
    if (!isObject())
        return JsonValueRef();
    // Names are compared as UTF-8 bytes.
    std::string_view name(key.data(), size_t(key.size()));
    QByteArray utf8;
    if (std::any_of(name.begin(), name.end(), [](char c) { return uchar(c) >= 0x80; })) {
        utf8 = QString(key).toUtf8();
        name = std::string_view(utf8.constData(), size_t(utf8.size()));
    }
    // The last of a repeated name counts, as in a QJsonObject.
    JsonValueRef found;
    for (const dom::key_value_pair member : dom::object(m_element)) {
        if (sameKey(member.key, name))
            found = JsonValueRef(member.value);
    }
    return found;
}

void JsonValueRef::pick(const JsonNameSet &names, JsonValueRef *found) const
{
    std::fill(found, found + names.size(), JsonValueRef());
    if (m_source == Source::Qt) {
        if (m_qt->isObject()) {
            const QJsonObject object = m_qt->toObject();
            for (int i = 0; i < names.size(); ++i)
                found[i] = JsonValueRef(m_store, object.value(names.name(i)));
        }
        return;
    }
    if (!isObject())
        return;
    // A later member of a repeated name replaces the earlier one.
    for (const dom::key_value_pair member : dom::object(m_element)) {
        const int index = names.indexOf(member.key);
        if (index >= 0)
            found[index] = JsonValueRef(member.value);
    }
}

int JsonValueRef::wordIndex(const JsonNameSet &words) const
{
    if (m_source == Source::Qt) {
        if (!m_qt->isString())
            return -1;
        const QString text = m_qt->toString();
        if (std::any_of(text.begin(), text.end(), [](QChar c) { return c.unicode() >= 0x80; }))
            return -1;
        const QByteArray ascii = text.toLatin1();
        return words.indexOf(std::string_view(ascii.constData(), size_t(ascii.size())));
    }
    std::string_view text;
    if (m_source != Source::Simd || m_element.get_string().get(text) != simdjson::SUCCESS)
        return -1;
    return words.indexOf(text);
}

bool JsonValueRef::contains(QLatin1String key) const
{
    return !value(key).isUndefined();
}

int JsonValueRef::size() const
{
    switch (m_source) {
    case Source::Simd:
        if (simdType() == dom::element_type::ARRAY)
            return int(dom::array(m_element).size());
        if (simdType() == dom::element_type::OBJECT)
            return int(dom::object(m_element).size());
        return 0;
    case Source::Qt:
        if (m_qt->isArray())
            return int(m_qt->toArray().size());
        if (m_qt->isObject())
            return int(m_qt->toObject().size());
        return 0;
    case Source::None: break;
    }
    return 0;
}

std::vector<JsonValueRef> JsonValueRef::elements() const
{
    std::vector<JsonValueRef> result;
    if (!isArray())
        return result;
    result.reserve(size_t(size()));
    if (m_source == Source::Qt) {
        for (const QJsonValue &element : m_qt->toArray())
            result.push_back(JsonValueRef(m_store, element));
    } else {
        for (const dom::element element : dom::array(m_element))
            result.push_back(JsonValueRef(element));
    }
    return result;
}

std::vector<std::pair<QString, JsonValueRef>> JsonValueRef::members() const
{
    std::vector<std::pair<QString, JsonValueRef>> result;
    if (!isObject())
        return result;
    result.reserve(size_t(size()));
    if (m_source == Source::Qt) {
        const QJsonObject object = m_qt->toObject();
        for (auto it = object.begin(); it != object.end(); ++it)
            result.emplace_back(it.key(), JsonValueRef(m_store, it.value()));
    } else {
        for (const dom::key_value_pair member : dom::object(m_element))
            result.emplace_back(fromUtf8(member.key), JsonValueRef(member.value));
    }
    return result;
}

JsonValueRef JsonValueRef::at(int index) const
{
    if (index < 0 || index >= size())
        return JsonValueRef();
    if (m_source == Source::Qt)
        return JsonValueRef(m_store, m_qt->isArray() ? m_qt->toArray().at(index) : *(m_qt->toObject().begin() + index));
    if (simdType() == dom::element_type::ARRAY)
        return JsonValueRef(dom::array(m_element).at(size_t(index)).value_unsafe());
    auto it = dom::object(m_element).begin();
    for (int i = 0; i < index; ++i)
        ++it;
    return JsonValueRef(it.value());
}

QString JsonValueRef::keyAt(int index) const
{
    if (!isObject() || index < 0 || index >= size())
        return QString();
    if (m_source == Source::Qt)
        return (m_qt->toObject().begin() + index).key();
    auto it = dom::object(m_element).begin();
    for (int i = 0; i < index; ++i)
        ++it;
    return fromUtf8(it.key());
}

} // namespace pv
