#pragma once

#include <QJsonObject>
#include <QString>

namespace pv {

// Reads a JSON file whose top-level object carries a "format" tag, the way
// the errata file and the name table are stored. The caller logs the failure
// in its own words.
struct TaggedJsonFile
{
    enum Status { Ok, NotOpened, Malformed, ForeignTag };

    Status status = NotOpened;
    QJsonObject object;     // the document when status is Ok
    int errorOffset = 0;    // for Malformed: where parsing stopped
    QString errorMessage;   // for Malformed: the parser's message

    static TaggedJsonFile read(const QString &path, const QString &expectedTag);
};

} // namespace pv
