#include "selftest/SelfTestHarness.h"

#include "prices/PriceIndex.h"

#include <QEventLoop>
#include <QIODevice>
#include <QTimer>

#include <cstdio>

namespace pv::selftest {

namespace {
int failures = 0;
}

QTextStream &out()
{
    static QTextStream *stream = [] {
        auto *s = new QTextStream(stdout, QIODevice::ReadWrite);
        return s;
    }();
    return *stream;
}

void check(bool ok, const QString &description)
{
    out() << (ok ? "  ok    " : "  FAIL  ") << description << '\n';
    out().flush();
    if (!ok)
        ++failures;
}

void expectEqual(const QString &actual, const char *expectedUtf8, const QString &description)
{
    const QString expected = QString::fromUtf8(expectedUtf8);
    const bool ok = actual == expected;
    const QString detail = ok ? actual : QStringLiteral("%1, wanted %2").arg(actual, expected);
    check(ok, QStringLiteral("%1: %2").arg(description, detail));
}

void beginTest(const QString &title, bool blankLineBefore)
{
    if (blankLineBefore)
        out() << '\n';
    out() << title << '\n';
    out().flush();
}

void waitForPriceIndex(PriceIndex &index, QEventLoop &loop, int timeoutMs)
{
    QTimer timer;
    timer.setSingleShot(true);
    QObject::connect(&timer, &QTimer::timeout, &loop, [&loop] { onPriceIndexWaitTimeout(loop); });
    timer.start(timeoutMs);
    QObject::connect(&index, &PriceIndex::setIndexed, &loop,
                     [&loop](pv::Language, const QString &, bool) { onPriceIndexSetIndexed(loop); });
    loop.exec(QEventLoop::AllEvents);
}

void onPriceIndexWaitTimeout(QEventLoop &loop)
{
    out() << "  timed out waiting for TCGCSV" << '\n';
    out().flush();
    loop.quit();
}

void onPriceIndexSetIndexed(QEventLoop &loop)
{
    loop.quit();
}

void countEmission(int &counter)
{
    ++counter;
}

int failureCount() { return failures; }
void resetFailures() { failures = 0; }

int finishRun()
{
    out() << '\n';
    if (failures == 0)
        out() << "All checks passed." << '\n';
    else
        out() << QStringLiteral("%1 check(s) failed.").arg(failures) << '\n';
    out().flush();
    return failures != 0 ? 1 : 0;
}

} // namespace pv::selftest
