#pragma once

#include <QByteArray>
#include <QJsonParseError>
#include <QLatin1String>
#include <QString>

#include <vector>

namespace pv {

class JsonValueRef;

// A parsed JSON document whose strings stay UTF-8 byte ranges of the source
// until asked for. Looking a member up compares bytes, so reading many small
// objects costs a fraction of what a QJsonObject look-up does. It accepts what
// QJsonDocument accepts and reports failures with QJsonParseError's codes.
class JsonTree
{
public:
    JsonTree() = default;

    // An object or array as the root; on failure the tree is empty and the
    // error tells why.
    static JsonTree parse(const QByteArray &text, QJsonParseError *error);

    // The root value; undefined for an empty tree.
    JsonValueRef root() const;

private:
    friend class JsonValueRef;
    friend class JsonParser;

    enum class Kind : quint8 { Null, False, True, Number, String, Array, Object };

    struct Node
    {
        Kind kind = Kind::Null;
        bool escaped = false;     // a string with backslash escapes
        int count = 0;            // elements or members of a container
        qsizetype offset = 0;     // string: first byte after the quote; container: first link
        union {
            qsizetype length;     // string: bytes up to the closing quote
            double number;
        };
        Node() : length(0) {}
    };

    // One element of a container: the member name (a string range, length
    // -1 for array elements) and the value's node.
    struct Link
    {
        qsizetype keyOffset = 0;
        int keyLength = -1;
        bool keyEscaped = false;
        int node = -1;
    };

    QString text(qsizetype offset, qsizetype length, bool escaped) const;
    bool keyEquals(const Link &link, QLatin1String key) const;

    QByteArray m_source;
    std::vector<Node> m_nodes;
    std::vector<Link> m_links;
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
    bool toBool(bool defaultValue = false) const;

    // Object members; with a repeated name the last one counts.
    JsonValueRef value(QLatin1String key) const;
    bool contains(QLatin1String key) const;

    // Elements of an array, or members of an object in file order; 0 for
    // anything else.
    int size() const;
    JsonValueRef at(int index) const;
    QString keyAt(int index) const; // the member name; empty for an array

private:
    friend class JsonTree;
    JsonValueRef(const JsonTree *tree, int node)
        : m_tree(tree)
        , m_node(node)
    {
    }

    const JsonTree::Node &node() const;

    const JsonTree *m_tree = nullptr;
    int m_node = -1;
};

} // namespace pv
