#pragma once

#include "core/CardVocabulary.h"

#include <QList>
#include <QMetaType>
#include <QString>
#include <QStringList>

namespace pv {

// One rule of a binder: every non-empty field must match; a rule whose
// fields are all empty matches nothing and is skipped.
struct BinderRule
{
    QString setId;
    QString serieId;
    QStringList rarities;
    QList<int> dexIds;
    QString name;

    bool isEmpty() const
    {
        return setId.isEmpty() && serieId.isEmpty() && rarities.isEmpty() && dexIds.isEmpty()
            && name.isEmpty();
    }

    friend bool operator==(const BinderRule &a, const BinderRule &b)
    {
        return a.setId == b.setId && a.serieId == b.serieId && a.rarities == b.rarities
            && a.dexIds == b.dexIds && a.name == b.name;
    }
    friend bool operator!=(const BinderRule &a, const BinderRule &b) { return !(a == b); }
};

// A virtual album: the union of its rules' cards, or with topValue N the N
// most valuable cards owned in its language.
struct Binder
{
    QString id;
    QString name;
    Language lang = Language::English;
    QList<BinderRule> rules;
    QStringList added;
    QStringList removed;
    QStringList order;
    int topValue = 0;
    int columns = 3;
    int rows = 3;
    bool showMissing = true;
    QStringList hiddenRarities;

    friend bool operator==(const Binder &a, const Binder &b)
    {
        return a.id == b.id && a.name == b.name && a.lang == b.lang && a.rules == b.rules
            && a.added == b.added && a.removed == b.removed && a.order == b.order
            && a.topValue == b.topValue && a.columns == b.columns && a.rows == b.rows
            && a.showMissing == b.showMissing && a.hiddenRarities == b.hiddenRarities;
    }
    friend bool operator!=(const Binder &a, const Binder &b) { return !(a == b); }
};

} // namespace pv

Q_DECLARE_METATYPE(pv::Binder)
