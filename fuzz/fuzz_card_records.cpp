// The card database's answers: the shape check of every kind of request and
// the records read from lists and details.
#include "FuzzSupport.h"

#include "catalog/TcgdexClient.h"
#include "core/CardBrief.h"
#include "core/CardDetail.h"
#include "core/SerieBrief.h"
#include "core/SerieDetail.h"
#include "core/SetBrief.h"
#include "core/SetDetail.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

using namespace pv;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    fuzz::start();
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(fuzz::bytesOf(data, size), &error);
    if (error.error != QJsonParseError::NoError)
        return 0;
    for (int kind = TcgdexClient::SetIndex; kind <= TcgdexClient::CardsByDexId; ++kind) {
        const bool detail = kind == TcgdexClient::SetDetail || kind == TcgdexClient::SerieDetail
            || kind == TcgdexClient::Card;
        if (TcgdexClient::shapeProblem(kind, document).isEmpty() != (detail ? document.isObject() : document.isArray()))
            fuzz::fail(QStringLiteral("a reply of the wrong shape was taken, or one of the right shape refused"));
    }
    if (document.isObject()) {
        const QJsonObject object = document.object();
        SetDetail::fromJson(object);
        SerieDetail::fromJson(object);
        CardDetail::fromJson(object);
    } else {
        const QJsonArray array = document.array();
        for (qsizetype i = 0; i < array.size(); ++i) {
            const QJsonObject object = array.at(i).toObject();
            SetBrief::fromJson(object, int(i));
            SerieBrief::fromJson(object);
            CardBrief::fromJson(object);
        }
    }
    return 0;
}
