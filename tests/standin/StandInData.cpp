#include "standin/StandInData.h"

#include "standin/RequestKey.h"

#include <QByteArrayView>
#include <QDir>
#include <QFile>

#include <cstring>
#include <future>
#include <map>
#include <mutex>

#include <zlib.h>

#ifndef TALLOWK_STANDIN_DATA_DIR
#define TALLOWK_STANDIN_DATA_DIR ""
#endif

namespace pv::test {

namespace {

const char kAssetsOrigin[] = "https://assets.tcgdex.net";

bool readGzip(const QString &path, QByteArray *out, QString *error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        *error = QStringLiteral("cannot read %1: %2").arg(path, file.errorString());
        return false;
    }
    const QByteArray packed = file.readAll();
    if (packed.size() < 18) {
        *error = QStringLiteral("%1 is not a gzip file").arg(path);
        return false;
    }
    // The trailer holds the unpacked size (modulo 4 GiB), so the buffer is
    // allocated once.
    const auto *tail = reinterpret_cast<const unsigned char *>(packed.constData() + packed.size() - 4);
    const quint32 expected = quint32(tail[0]) | (quint32(tail[1]) << 8) | (quint32(tail[2]) << 16)
        | (quint32(tail[3]) << 24);
    out->resize(qsizetype(expected));

    z_stream stream;
    std::memset(&stream, 0, sizeof stream);
    if (inflateInit2(&stream, 16 + MAX_WBITS) != Z_OK) {
        *error = QStringLiteral("zlib could not start");
        return false;
    }
    stream.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(packed.constData()));
    stream.avail_in = uInt(packed.size());
    stream.next_out = reinterpret_cast<Bytef *>(out->data());
    stream.avail_out = uInt(out->size());
    const int status = inflate(&stream, Z_FINISH);
    const auto produced = qsizetype(stream.total_out);
    inflateEnd(&stream);
    if (status != Z_STREAM_END || produced != out->size()) {
        *error = QStringLiteral("%1 is damaged (zlib status %2)").arg(path).arg(status);
        return false;
    }
    return true;
}

bool isSpace(char c)
{
    return c == ' ' || c == '\n' || c == '\r' || c == '\t';
}

// Offset just past the string whose opening quote is at pos, or -1.
qsizetype skipString(const char *d, qsizetype n, qsizetype pos)
{
    qsizetype i = pos + 1;
    while (i < n) {
        const void *hit = std::memchr(d + i, '"', size_t(n - i));
        if (!hit)
            return -1;
        const qsizetype quote = static_cast<const char *>(hit) - d;
        qsizetype slashes = 0;
        while (quote - 1 - slashes > pos && d[quote - 1 - slashes] == '\\')
            ++slashes;
        if (slashes % 2 == 0)
            return quote + 1;
        i = quote + 1;
    }
    return -1;
}

// Offset just past the JSON value starting at pos, or -1.
qsizetype skipValue(const char *d, qsizetype n, qsizetype pos)
{
    if (pos >= n)
        return -1;
    const char first = d[pos];
    if (first == '"')
        return skipString(d, n, pos);
    if (first == '{' || first == '[') {
        int depth = 0;
        for (qsizetype i = pos; i < n; ++i) {
            const char c = d[i];
            if (c == '"') {
                i = skipString(d, n, i);
                if (i < 0)
                    return -1;
                --i;
            } else if (c == '{' || c == '[') {
                ++depth;
            } else if (c == '}' || c == ']') {
                if (--depth == 0)
                    return i + 1;
            }
        }
        return -1;
    }
    qsizetype i = pos;
    while (i < n && d[i] != ',' && d[i] != '}' && d[i] != ']' && !isSpace(d[i]))
        ++i;
    return i;
}

// Calls onMember(key, valueBegin, valueEnd) for each member of the top-level
// object, without building a document: the files are tens of megabytes.
template<typename F>
bool scanMembers(const QByteArray &json, F &&onMember)
{
    const char *d = json.constData();
    const qsizetype n = json.size();
    qsizetype i = 0;
    auto skipSpace = [&] {
        while (i < n && isSpace(d[i]))
            ++i;
    };
    skipSpace();
    if (i >= n || d[i] != '{')
        return false;
    ++i;
    for (;;) {
        skipSpace();
        if (i < n && d[i] == '}')
            return true;
        if (i >= n || d[i] != '"')
            return false;
        const qsizetype keyEnd = skipString(d, n, i);
        if (keyEnd < 0)
            return false;
        QByteArray key;
        appendJsonStringText(key, d + i + 1, keyEnd - i - 2);
        i = keyEnd;
        skipSpace();
        if (i >= n || d[i] != ':')
            return false;
        ++i;
        skipSpace();
        const qsizetype valueEnd = skipValue(d, n, i);
        if (valueEnd < 0)
            return false;
        onMember(key, i, valueEnd);
        i = valueEnd;
        skipSpace();
        if (i < n && d[i] == ',') {
            ++i;
            continue;
        }
        if (i < n && d[i] == '}')
            return true;
        return false;
    }
}

void appendUtf8(QByteArray &out, uint code)
{
    if (code < 0x80) {
        out.append(char(code));
    } else if (code < 0x800) {
        out.append(char(0xC0 | (code >> 6)));
        out.append(char(0x80 | (code & 0x3F)));
    } else if (code < 0x10000) {
        out.append(char(0xE0 | (code >> 12)));
        out.append(char(0x80 | ((code >> 6) & 0x3F)));
        out.append(char(0x80 | (code & 0x3F)));
    } else {
        out.append(char(0xF0 | (code >> 18)));
        out.append(char(0x80 | ((code >> 12) & 0x3F)));
        out.append(char(0x80 | ((code >> 6) & 0x3F)));
        out.append(char(0x80 | (code & 0x3F)));
    }
}

int hexValue(const char *s)
{
    int value = 0;
    for (int k = 0; k < 4; ++k) {
        const char c = s[k];
        value <<= 4;
        if (c >= '0' && c <= '9')
            value |= c - '0';
        else if (c >= 'a' && c <= 'f')
            value |= c - 'a' + 10;
        else if (c >= 'A' && c <= 'F')
            value |= c - 'A' + 10;
        else
            return -1;
    }
    return value;
}

struct LoadedFile
{
    QByteArray buffer;
    QString error;
    StandInData::Language language;             // card database files
    QHash<QByteArray, QByteArray> tcgcsvBodies; // TCGCSV files
    QSet<QByteArray> assets;
};

// Picture bases the answers name, as normalised paths of the public host.
QSet<QByteArray> collectAssets(const QByteArray &json)
{
    const QByteArray needle = QByteArray("\"") + kAssetsOrigin;
    QSet<QByteArray> raw;
    qsizetype from = 0;
    for (;;) {
        const qsizetype at = json.indexOf(needle, from);
        if (at < 0)
            break;
        const qsizetype begin = at + needle.size();
        const qsizetype end = json.indexOf('"', begin);
        if (end < 0)
            break;
        raw.insert(json.mid(begin, end - begin));
        from = end + 1;
    }
    QSet<QByteArray> normalised;
    normalised.reserve(raw.size());
    for (const QByteArray &path : std::as_const(raw))
        normalised.insert(normalisePath(path));
    return normalised;
}

LoadedFile loadCardDatabase(const QString &path, const QByteArray &language)
{
    LoadedFile file;
    if (!readGzip(path, &file.buffer, &file.error))
        return file;
    const QByteArray &buffer = file.buffer;
    const QByteArray itemPrefix = "/v2/" + language + '/';
    const bool ok = scanMembers(buffer, [&](const QByteArray &key, qsizetype begin, qsizetype end) {
        file.language.bodies.insert(key, QByteArray::fromRawData(buffer.constData() + begin, end - begin));
        if (key.contains('&'))
            file.language.keysInAnyOrder.insert(withSortedQuery(key), key);
        if (key.startsWith(itemPrefix) && !key.contains('?') && key.count('/') == 4)
            file.language.keysIgnoringCase.insert(key.toLower(), key);
    });
    if (!ok) {
        file.error = QStringLiteral("%1 is not a JSON object of answers").arg(path);
        return file;
    }
    file.assets = collectAssets(buffer);
    return file;
}

LoadedFile loadTcgcsv(const QString &path)
{
    LoadedFile file;
    QByteArray packed;
    if (!readGzip(path, &packed, &file.error))
        return file;
    // The bodies are stored as JSON strings; they are unescaped into one
    // buffer and sliced once it is complete.
    QList<std::pair<QByteArray, std::pair<qsizetype, qsizetype>>> spans;
    file.buffer.reserve(packed.size());
    const bool ok = scanMembers(packed, [&](const QByteArray &key, qsizetype begin, qsizetype end) {
        if (end - begin < 2 || packed.at(begin) != '"')
            return;
        const qsizetype offset = file.buffer.size();
        appendJsonStringText(file.buffer, packed.constData() + begin + 1, end - begin - 2);
        spans.append({key, {offset, file.buffer.size() - offset}});
    });
    if (!ok) {
        file.error = QStringLiteral("%1 is not a JSON object of answers").arg(path);
        return file;
    }
    for (const auto &[key, span] : spans)
        file.tcgcsvBodies.insert(key, QByteArray::fromRawData(file.buffer.constData() + span.first, span.second));
    return file;
}

} // namespace

void appendJsonStringText(QByteArray &out, const char *text, qsizetype size)
{
    qsizetype i = 0;
    while (i < size) {
        const void *hit = std::memchr(text + i, '\\', size_t(size - i));
        const qsizetype slash = hit ? static_cast<const char *>(hit) - text : size;
        out.append(text + i, slash - i);
        if (slash >= size - 1)
            return;
        const char c = text[slash + 1];
        i = slash + 2;
        switch (c) {
        case 'n': out.append('\n'); break;
        case 't': out.append('\t'); break;
        case 'r': out.append('\r'); break;
        case 'b': out.append('\b'); break;
        case 'f': out.append('\f'); break;
        case 'u': {
            int code = i + 4 <= size ? hexValue(text + i) : -1;
            if (code < 0) {
                out.append("\\u");
                break;
            }
            i += 4;
            // A high surrogate followed by a low one is one character.
            if (code >= 0xD800 && code < 0xDC00 && i + 6 <= size && text[i] == '\\' && text[i + 1] == 'u') {
                const int low = hexValue(text + i + 2);
                if (low >= 0xDC00 && low < 0xE000) {
                    code = 0x10000 + ((code - 0xD800) << 10) + (low - 0xDC00);
                    i += 6;
                }
            }
            appendUtf8(out, uint(code));
            break;
        }
        default: out.append(c); break; // '"', '\\' and '/'
        }
    }
}

QString StandInData::defaultDirectory()
{
    const QString fromEnvironment = qEnvironmentVariable("TALLOWK_STANDIN_DATA");
    if (!fromEnvironment.isEmpty())
        return fromEnvironment;
    return QStringLiteral(TALLOWK_STANDIN_DATA_DIR);
}

QByteArray StandInData::publicAssetsOrigin()
{
    return QByteArray(kAssetsOrigin);
}

std::shared_ptr<const StandInData> StandInData::load(const QString &directory, QString *error)
{
    static std::mutex mutex;
    static std::map<QString, std::shared_ptr<const StandInData>> loaded;

    const QString dir = QDir(directory.isEmpty() ? defaultDirectory() : directory).absolutePath();
    std::lock_guard<std::mutex> lock(mutex);
    if (const auto it = loaded.find(dir); it != loaded.end())
        return it->second;

    // The four files are unpacked side by side; the English answers take longest.
    auto en = std::async(std::launch::async, loadCardDatabase, dir + QStringLiteral("/tcgdex/en.json.gz"), QByteArray("en"));
    auto ja = std::async(std::launch::async, loadCardDatabase, dir + QStringLiteral("/tcgdex/ja.json.gz"), QByteArray("ja"));
    auto c3 = std::async(std::launch::async, loadTcgcsv, dir + QStringLiteral("/tcgcsv/3.json.gz"));
    LoadedFile c85 = loadTcgcsv(dir + QStringLiteral("/tcgcsv/85.json.gz"));
    LoadedFile files[] = {en.get(), ja.get(), c3.get(), std::move(c85)};
    for (const LoadedFile &file : files) {
        if (!file.error.isEmpty()) {
            if (error)
                *error = file.error;
            return nullptr;
        }
    }

    auto data = std::make_shared<StandInData>();
    data->m_languages.insert("en", std::move(files[0].language));
    data->m_languages.insert("ja", std::move(files[1].language));
    data->m_assets = std::move(files[0].assets);
    data->m_assets.unite(files[1].assets);
    data->m_tcgcsv = std::move(files[2].tcgcsvBodies);
    data->m_tcgcsv.insert(files[3].tcgcsvBodies);
    for (LoadedFile &file : files)
        data->m_buffers.append(std::move(file.buffer));
    loaded.emplace(dir, data);
    return data;
}

bool StandInData::hasLanguage(const QByteArray &language) const
{
    return m_languages.contains(language);
}

QByteArray StandInData::cardDatabaseBody(const QByteArray &language, const QByteArray &key) const
{
    const auto it = m_languages.constFind(language);
    return it == m_languages.constEnd() ? QByteArray() : it->bodies.value(key);
}

QByteArray StandInData::cardDatabaseKeyIgnoringCase(const QByteArray &language, const QByteArray &key) const
{
    const auto it = m_languages.constFind(language);
    return it == m_languages.constEnd() ? QByteArray() : it->keysIgnoringCase.value(key.toLower());
}

QByteArray StandInData::cardDatabaseKeyInAnyOrder(const QByteArray &language, const QByteArray &key) const
{
    const auto it = m_languages.constFind(language);
    return it == m_languages.constEnd() ? QByteArray() : it->keysInAnyOrder.value(withSortedQuery(key));
}

QList<QByteArray> StandInData::largeCardDatabaseKeys(const QByteArray &language, qsizetype minimumSize) const
{
    QList<QByteArray> keys;
    const auto it = m_languages.constFind(language);
    if (it == m_languages.constEnd())
        return keys;
    for (auto body = it->bodies.constBegin(); body != it->bodies.constEnd(); ++body) {
        if (body->size() >= minimumSize)
            keys.append(body.key());
    }
    return keys;
}

int StandInData::cardDatabaseAnswerCount(const QByteArray &language) const
{
    const auto it = m_languages.constFind(language);
    return it == m_languages.constEnd() ? 0 : int(it->bodies.size());
}

QByteArray StandInData::tcgcsvBody(const QByteArray &path) const
{
    return m_tcgcsv.value(path);
}

int StandInData::tcgcsvAnswerCount() const
{
    return int(m_tcgcsv.size());
}

bool StandInData::hasAsset(const QByteArray &path) const
{
    return m_assets.contains(path);
}

} // namespace pv::test
