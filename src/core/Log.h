#pragma once

#include <QDateTime>
#include <QList>
#include <QMetaType>
#include <QMutex>
#include <QObject>
#include <QString>

namespace pv {

struct LogEntry
{
    QDateTime time;
    int level = 1;
    QString category;
    QString message;

    // "HH:mm:ss.zzz  LEVEL  category    message"
    QString format() const;
};

// Process-wide in-memory log. Writers may call it from any thread and at any
// time, including before the application object exists and during shutdown.
class Log : public QObject
{
    Q_OBJECT
public:
    enum Level { Debug = 0, Info = 1, Warn = 2, Error = 3 };

    static Log &instance();

    static void debug(const QString &category, const QString &message);
    static void info(const QString &category, const QString &message);
    static void warn(const QString &category, const QString &message);
    static void error(const QString &category, const QString &message);

    void append(int level, const QString &category, const QString &message);
    void clear();
    int count() const;
    QList<LogEntry> entries() const;

    static QString levelName(int level);

    static void installMessageHandler();
    static void qtMessageHandler(QtMsgType type, const QMessageLogContext &context,
                                 const QString &message);

    // Entries kept after a trim, and the size at which the trim happens.
    static constexpr int TrimTo = 18000;
    static constexpr int TrimAt = 20001;

Q_SIGNALS:
    void entryAppended(const pv::LogEntry &entry);
    void cleared();

private:
    Log();

    mutable QMutex m_mutex;
    QList<LogEntry> m_entries;
};

} // namespace pv

Q_DECLARE_METATYPE(pv::LogEntry)
