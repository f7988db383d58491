// The collection file reader, both formats, and the writer behind it: what
// the reader accepts, the writer must write back so that it reads the same.
#include "FuzzSupport.h"

#include "collection/Collection.h"
#include "collection/CollectionSerializer.h"

using namespace pv;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    fuzz::start();
    const QString in = fuzz::writeScratch(QStringLiteral("in.tmk"), data, size);
    const CollectionSerializer::ReadResult first = CollectionSerializer::read(in);
    if (!first.ok)
        return 0;

    Collection collection;
    collection.replaceContents(first.entries, first.sets, first.history, first.binders, first.labelStyle);
    const QString out = fuzz::scratchFile(QStringLiteral("out.tmk"));
    QString error;
    if (!CollectionSerializer::write(out, collection, &error))
        fuzz::fail(QStringLiteral("writing back failed: ") + error);
    const CollectionSerializer::ReadResult second = CollectionSerializer::read(out);
    if (!second.ok)
        fuzz::fail(QStringLiteral("what was written back does not read: ") + second.error);
    if (second.entries.size() != collection.entries().size())
        fuzz::fail(QStringLiteral("entries lost on the way back"));
    if (second.sets.size() != collection.sets().size())
        fuzz::fail(QStringLiteral("set records lost on the way back"));
    if (second.binders.size() != collection.binders().size())
        fuzz::fail(QStringLiteral("binders lost on the way back"));
    if (second.history.size() != collection.history().size())
        fuzz::fail(QStringLiteral("history points lost on the way back"));
    for (qsizetype i = 0; i < second.history.size(); ++i) {
        if (second.history.at(i).date != collection.history().at(i).date)
            fuzz::fail(QStringLiteral("a history point changed its date on the way back"));
    }
    for (qsizetype i = 0; i < second.entries.size(); ++i) {
        if (second.entries.at(i).cardId != collection.entries().at(i).cardId)
            fuzz::fail(QStringLiteral("an entry changed its card on the way back"));
    }
    if (second.labelStyle.has_value() != collection.labelStyle().has_value())
        fuzz::fail(QStringLiteral("the label style was lost on the way back"));
    return 0;
}
