#include "core/TaggedJsonFile.h"

#include <QFile>
#include <QJsonDocument>
#include <QJsonParseError>

namespace pv {

TaggedJsonFile TaggedJsonFile::read(const QString &path, const QString &expectedTag)
{
    TaggedJsonFile result;
    if (path.isEmpty())
        return result;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return result;

    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(file.readAll(), &error);
    if (error.error != QJsonParseError::NoError || !document.isObject()) {
        result.status = Malformed;
        result.errorOffset = error.error != QJsonParseError::NoError ? error.offset : 0;
        result.errorMessage = error.error != QJsonParseError::NoError
                                  ? error.errorString()
                                  : QStringLiteral("the document is not an object");
        return result;
    }
    const QJsonObject object = document.object();
    if (object.value(QLatin1String("format")).toString() != expectedTag) {
        result.status = ForeignTag;
        return result;
    }
    result.status = Ok;
    result.object = object;
    return result;
}

} // namespace pv
