#pragma once

#include "core/AppSettings.h"
#include "core/FxRates.h"
#include "core/Log.h"
#include "core/Pricing.h"
#include "core/SteadyClock.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QString>
#include <QStringList>
#include <QVariant>

#include <functional>

// Set-up helpers the suites share: settings, fixture files, the log and the
// scopes of process-wide test hooks.
namespace pv::test {

// Undoes a change to process-wide state (a test hook, a table or switch every
// test reads) when the scope ends. A failed check returns from the test at
// once: the tests after it still start from the state they expect, and no
// hook is left holding a finished test's locals.
class AtScopeEnd
{
public:
    explicit AtScopeEnd(std::function<void()> undo)
        : m_undo(std::move(undo))
    {
    }
    ~AtScopeEnd() { m_undo(); }
    AtScopeEnd(const AtScopeEnd &) = delete;
    AtScopeEnd &operator=(const AtScopeEnd &) = delete;

private:
    std::function<void()> m_undo;
};

// SteadyClock runs on manual time, moved by the test, while the scope lasts.
class ManualTime
{
public:
    ManualTime() { SteadyClock::useManualTime(); }
    ~ManualTime() { SteadyClock::useRealTime(); }
    ManualTime(const ManualTime &) = delete;
    ManualTime &operator=(const ManualTime &) = delete;
};

// Stores a setting in the settings file; an invalid value removes the key.
inline void setSetting(const QString &key, const QVariant &value)
{
    AppSettings settings;
    if (value.isValid())
        settings.setValue(key, value);
    else
        settings.remove(key);
    // The program keeps what it read of some keys; it reads them again.
    FxRates::reload();
    Pricing::reloadGradeMultipliers();
}

inline QVariant setting(const QString &key)
{
    return AppSettings().value(key);
}

// Writes the bytes to the file, replacing it and making its folder; true
// when every byte was written.
inline bool writeFile(const QString &path, const QByteArray &bytes)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(bytes) == bytes.size();
}

// writeFile for a fixture the test cannot go on without; returns the path.
inline QString writeFixture(const QString &path, const QByteArray &bytes)
{
    if (!writeFile(path, bytes))
        qFatal("cannot write the test fixture %s", qPrintable(path));
    return path;
}

// The file's bytes; empty when it cannot be read.
inline QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// The messages the in-memory log holds for the category, oldest first; only
// those of the level when one is given, and from entry `from` on.
inline QStringList logMessages(const QString &category, int level = -1, int from = 0)
{
    QStringList found;
    const QList<LogEntry> entries = Log::instance().entries();
    for (int i = from; i < entries.size(); ++i) {
        if (entries.at(i).category == category && (level < 0 || entries.at(i).level == level))
            found.append(entries.at(i).message);
    }
    return found;
}

inline int logSize()
{
    return int(Log::instance().entries().size());
}

} // namespace pv::test
