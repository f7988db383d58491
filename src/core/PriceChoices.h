#pragma once

#include "core/AppSettings.h"

#include <QList>
#include <QString>

namespace pv {

// A small fixed table of choices (id, key, label) stored by key under one
// settings key, with the choice in force cached for the process. The first
// row is the default and the fallback for every key or id that matches none.
template <typename Row>
class PriceChoices
{
public:
    PriceChoices(const char *settingsKey, QList<Row> rows)
        : m_settingsKey(settingsKey)
        , m_rows(std::move(rows))
    {
    }

    const QList<Row> &rows() const { return m_rows; }

    Row byKey(const QString &key) const
    {
        const QString wanted = key.trimmed();
        for (const Row &row : m_rows) {
            if (row.key.compare(wanted, Qt::CaseInsensitive) == 0)
                return row;
        }
        return m_rows.first();
    }

    Row byId(int id) const
    {
        for (const Row &row : m_rows) {
            if (row.id == id)
                return row;
        }
        return m_rows.first();
    }

    void load()
    {
        AppSettings settings;
        m_current = byKey(settings.value(QLatin1String(m_settingsKey)).toString()).id;
        m_loaded = true;
    }

    int current()
    {
        if (!m_loaded)
            load();
        return m_current;
    }

    void setCurrent(int id)
    {
        {
            AppSettings settings;
            settings.setValue(QLatin1String(m_settingsKey), byId(id).key);
        }
        load();
    }

private:
    const char *m_settingsKey;
    QList<Row> m_rows;
    bool m_loaded = false;
    int m_current = 0;
};

} // namespace pv
