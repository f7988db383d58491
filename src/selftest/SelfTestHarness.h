#pragma once

#include "catalog/TcgdexClient.h"
#include "collection/CardEntry.h"

#include <QEventLoop>
#include <QObject>
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

// Writes the title line of a test, after an empty line when asked.
void beginTest(const QString &title, bool blankLineBefore = true);

// The shared holding fixture: card id and number id, set "sv03", name
// "Test " + id, the condition at that position of the condition list, the
// count, price euros and price x 1.1 dollars; everything else as a default
// holding has it.
CardEntry makeTestEntry(const QString &id, int condition, int count, double price);

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

// ---- waits for the card database client ----

// Runs the loop until the test's own capture quits it, the client reports a
// failure ("  network error while fetching <context>: <message>") or the
// time-out passes ("  timed out waiting for a response").
void waitForClient(TcgdexClient &client, QEventLoop &loop, int timeoutMs);

// Waits as waitForClient does for the card picture of an image base, in either
// quality, delivered or failed; other pictures arriving meanwhile (thumbnails,
// set symbols) do not end the wait.
void waitForCardPicture(TcgdexClient &client, const QString &imageBase, int timeoutMs);

// Captures: each connects one client signal, with the loop as context, to a
// slot that stores what arrived and quits the loop. None looks at the request
// id, so the first emission ends the wait. The caller removes the returned
// connection after the wait (or lets it end with the loop).
QMetaObject::Connection captureRarityList(TcgdexClient &client, QStringList &rarities, QEventLoop &loop);
QMetaObject::Connection captureSetIndex(TcgdexClient &client, QList<SetBrief> &sets, QEventLoop &loop);
QMetaObject::Connection captureSetDetail(TcgdexClient &client, pv::SetDetail &detail, QEventLoop &loop);
QMetaObject::Connection captureImage(TcgdexClient &client, QPixmap &pixmap, QEventLoop &loop);
QMetaObject::Connection captureCard(TcgdexClient &client, CardDetail &card, QEventLoop &loop);

using CardsByRaritySignal = void (TcgdexClient::*)(int, pv::Language, const QString &, const QList<pv::CardBrief> &);
using CardsByDexIdSignal = void (TcgdexClient::*)(int, pv::Language, int, const QList<pv::CardBrief> &);
// Replaces the stored list with the signal's cards.
QMetaObject::Connection captureCardList(TcgdexClient &client, CardsByRaritySignal signal,
                                        QList<CardBrief> &cards, QEventLoop &loop);
QMetaObject::Connection captureCardList(TcgdexClient &client, CardsByDexIdSignal signal,
                                        QList<CardBrief> &cards, QEventLoop &loop);
// Stores the number of cards of a cardsByRarityReady.
QMetaObject::Connection captureCardCount(TcgdexClient &client, int &count, QEventLoop &loop);

template <typename Sender, typename Signal>
QMetaObject::Connection quitLoop(const Sender *sender, Signal signal, QEventLoop &loop)
{
    return QObject::connect(sender, signal, &loop, [&loop] { loop.quit(); });
}

} // namespace pv::selftest
