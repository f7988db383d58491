#pragma once

#include <QString>
#include <QTextStream>

class QEventLoop;

namespace pv {
class PriceIndex;
}

// Shared harness of the built-in self-test. Every check file includes this;
// only pv::runSelfTests (SelfTestRunner.h) is called from outside the suite.
namespace pv::selftest {

// The suite's output stream on standard output, created on first use.
QTextStream &out();

// Writes "  ok    " or "  FAIL  ", the description and a line end, then
// flushes; a failed check raises the failure counter.
void check(bool ok, const QString &description);

// "description: actual" when equal, else "description: actual, wanted expected".
void expectEqual(const QString &actual, const char *expectedUtf8, const QString &description);

// Writes the title line of a test; every test but the first and "Card number
// ordering" is preceded by an empty line.
void beginTest(const QString &title, bool blankLineBefore = true);

// Runs the loop until the price index reports a set as indexed, or until the
// time-out passes ("  timed out waiting for TCGCSV"). The setIndexed
// connection lasts as long as the loop object.
void waitForPriceIndex(PriceIndex &index, QEventLoop &loop, int timeoutMs);
void onPriceIndexWaitTimeout(QEventLoop &loop);
void onPriceIndexSetIndexed(QEventLoop &loop);
// Counts the emissions of a signal without ending any wait.
void countEmission(int &counter);

int failureCount();
void resetFailures();

// Writes an empty line and the summary ("All checks passed." or "%1 check(s)
// failed."), flushes, and returns the exit status: 0 when no check failed,
// else 1.
int finishRun();

} // namespace pv::selftest
