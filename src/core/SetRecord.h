#pragma once

#include "core/CardVocabulary.h"

#include <QDate>
#include <QMetaType>
#include <QString>

#include <limits>

namespace pv {

// What the collection remembers of one set it touches, keyed by set key.
// A count of 0 means not known.
struct SetRecord
{
    static constexpr int UnsetOrder = std::numeric_limits<int>::max();

    QString id;
    QString name;
    QString serie;  // the set's series name
    Language language = Language::English;
    QDate releaseDate;
    int order = UnsetOrder;  // smaller sorts earlier
    QString logo;
    QString symbol;
    int officialCardCount = 0;
    int totalCardCount = 0;
};

} // namespace pv

Q_DECLARE_METATYPE(pv::SetRecord)
