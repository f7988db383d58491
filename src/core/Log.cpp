#include "core/Log.h"

#include <QMutexLocker>

namespace pv {

namespace {
QtMessageHandler previousHandler = nullptr;
}

QString LogEntry::format() const
{
    return QStringLiteral("%1  %2  %3  %4")
        .arg(time.toString(QStringLiteral("HH:mm:ss.zzz")),
             Log::levelName(level).leftJustified(5, QLatin1Char(' ')),
             category.leftJustified(10, QLatin1Char(' ')),
             message);
}

Log::Log()
{
    qRegisterMetaType<pv::LogEntry>("pv::LogEntry");
    m_entries.reserve(1024);
}

Log &Log::instance()
{
    // Never destroyed, so writers may log during shutdown.
    static Log *log = new Log;
    return *log;
}

void Log::debug(const QString &category, const QString &message) { instance().append(Debug, category, message); }
void Log::info(const QString &category, const QString &message) { instance().append(Info, category, message); }
void Log::warn(const QString &category, const QString &message) { instance().append(Warn, category, message); }
void Log::error(const QString &category, const QString &message) { instance().append(Error, category, message); }

void Log::append(int level, const QString &category, const QString &message)
{
    LogEntry entry;
    entry.time = QDateTime::currentDateTime();
    entry.level = level;
    entry.category = category;
    entry.message = message;
    {
        QMutexLocker lock(&m_mutex);
        m_entries.append(entry);
        // Trim in one block so the cost is paid once per 2001 appends.
        if (m_entries.size() >= TrimAt)
            m_entries.remove(0, m_entries.size() - TrimTo);
    }
    Q_EMIT entryAppended(entry);
}

void Log::clear()
{
    {
        QMutexLocker lock(&m_mutex);
        m_entries.clear();
    }
    Q_EMIT cleared();
}

int Log::count() const
{
    QMutexLocker lock(&m_mutex);
    return int(m_entries.size());
}

QList<LogEntry> Log::entries() const
{
    QMutexLocker lock(&m_mutex);
    return m_entries;
}

QString Log::levelName(int level)
{
    switch (level) {
    case Debug: return QStringLiteral("DEBUG");
    case Warn: return QStringLiteral("WARN");
    case Error: return QStringLiteral("ERROR");
    default: return QStringLiteral("INFO");
    }
}

void Log::installMessageHandler()
{
    QtMessageHandler previous = qInstallMessageHandler(&Log::qtMessageHandler);
    if (previous != &Log::qtMessageHandler)
        previousHandler = previous;
}

void Log::qtMessageHandler(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    QString category = context.category ? QString::fromUtf8(context.category) : QString();
    if (category.isEmpty() || category == QLatin1String("default"))
        category = QStringLiteral("qt");
    int level = Error;
    switch (type) {
    case QtDebugMsg: level = Debug; break;
    case QtInfoMsg: level = Info; break;
    case QtWarningMsg: level = Warn; break;
    default: level = Error; break;
    }
    instance().append(level, category, message);
    if (previousHandler)
        previousHandler(type, context, message);
}

} // namespace pv
