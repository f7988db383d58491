#pragma once

#include "collection/Binder.h"
#include "collection/CardEntry.h"
#include "collection/CollectionContents.h"
#include "collection/HistoryPoint.h"
#include "collection/LabelStyle.h"
#include "core/SetRecord.h"

#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

namespace pv {

class Collection;
class JsonTextWriter;
class JsonValueRef;

// Reads and writes the collection file: JSON with the format tag "tallowk",
// version 5 (extension .tmk). Files of the older "mossel" format (.msl) are
// read and migrated; only the current format is written.
namespace CollectionSerializer {

// One kind of warning of a read: its first message and how many there were.
struct WarningKind
{
    QString first;
    int count = 0;
};

// A read lists at most this many warnings one by one; it counts them all.
inline constexpr int MaxListedWarnings = 100;

struct ReadResult
{
    bool ok = false;
    QString error;
    QList<CardEntry> entries;
    QHash<QString, SetRecord> sets;
    QList<HistoryPoint> history;
    QList<Binder> binders;
    std::optional<LabelStyle> labelStyle;
    // One per skipped or corrected item in reading order, the first
    // MaxListedWarnings of them; warningCount counts them all and
    // warningKinds how many of each kind, in the order the kinds came up.
    QStringList warnings;
    int warningCount = 0;
    QList<WarningKind> warningKinds;
};

// The largest file read as a collection, some 1.7 million holdings: 500,000
// take about 300 MB, and reading one peaks at about 2.6 times its size.
inline constexpr qint64 MaxFileSize = qint64(1) << 30;
// A file with no byte but blanks in this many from its start is refused;
// the writer puts the opening brace first.
inline constexpr qint64 MaxBlankStart = qint64(1) << 20;

// A failed read returns ok false, the message and nothing else.
ReadResult read(const QString &path);

// Writes through a temporary file that replaces the old one only when
// complete; on failure the old file is untouched and *error says why.
bool write(const QString &path, const Collection &collection, QString *error = nullptr);
// The same from contents alone: nothing derived from them is built.
bool write(const QString &path, const CollectionContents &contents, QString *error = nullptr);

// "Tallowmerick collection (*.tmk *.msl);;All files (*)" for file dialogs.
QString fileFilter();

// One JSON object to one record and back. A reader takes a value of any kind
// (anything but an object reads as an empty one); a writer writes the
// members of an object the caller has opened.
CardEntry readEntry(const JsonValueRef &object, QStringList *warnings);
void writeEntry(JsonTextWriter &out, const CardEntry &entry);
// The holdings as the elements of an array the caller has opened; the
// buffer is given room for them, measured from the first, and for afterBytes
// more, so that it does not grow again on the way.
void writeEntries(JsonTextWriter &out, const QList<CardEntry> &entries, qsizetype afterBytes);
// memberName is the record's key in the "sets" object ("ja:SV3"). The name
// is the file's own, empty when it has none; the reader keeps no such record.
SetRecord readSet(const QString &memberName, const JsonValueRef &object);
void writeSet(JsonTextWriter &out, const SetRecord &record);
Binder readBinder(const JsonValueRef &object);
void writeBinder(JsonTextWriter &out, const Binder &binder);
BinderRule readBinderRule(const JsonValueRef &object);
void writeBinderRule(JsonTextWriter &out, const BinderRule &rule);
LabelStyle readLabelStyle(const JsonValueRef &object);
void writeLabelStyle(JsonTextWriter &out, const LabelStyle &style);
// The non-empty strings of an array, in order; anything else reads as empty.
QStringList readStringList(const JsonValueRef &value);

} // namespace CollectionSerializer
} // namespace pv
