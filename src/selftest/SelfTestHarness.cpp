#include "selftest/SelfTestHarness.h"

#include "core/CardArtwork.h"
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

CardEntry makeTestEntry(const QString &id, int condition, int count, double price)
{
    CardEntry entry;
    entry.cardId = id;
    entry.setId = QStringLiteral("sv03");
    entry.localId = id;
    entry.name = QStringLiteral("Test ") + id;
    entry.condition = Condition(condition);
    entry.count = count;
    entry.unitValueEur = price;
    entry.unitValueUsd = price * 1.1;
    return entry;
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

void waitForClient(TcgdexClient &client, QEventLoop &loop, int timeoutMs)
{
    const QMetaObject::Connection failed = QObject::connect(
        &client, &TcgdexClient::requestFailed, &loop,
        [&loop](int, const QString &context, const QString &message) {
            out() << "  network error while fetching " << context << ": " << message << '\n';
            out().flush();
            loop.quit();
        });
    QTimer timer;
    timer.setSingleShot(true);
    QObject::connect(&timer, &QTimer::timeout, &loop, [&loop] {
        out() << "  timed out waiting for a response" << '\n';
        out().flush();
        loop.quit();
    });
    timer.start(timeoutMs);
    loop.exec(QEventLoop::AllEvents);
    QObject::disconnect(failed);
}

void waitForCardPicture(TcgdexClient &client, const QString &imageBase, int timeoutMs)
{
    const QString large = cardImageUrl(imageBase, true);
    const QString small = cardImageUrl(imageBase, false);
    const auto ours = [large, small](const QString &url) { return url == large || url == small; };
    QEventLoop loop;
    QObject::connect(&client, &TcgdexClient::imageReady, &loop, [&loop, ours](int, const QString &url, const QPixmap &) {
        if (ours(url))
            loop.quit();
    });
    QObject::connect(&client, &TcgdexClient::imageFailed, &loop, [&loop, ours](int, const QString &url, const QString &) {
        if (ours(url))
            loop.quit();
    });
    waitForClient(client, loop, timeoutMs);
}

QMetaObject::Connection captureRarityList(TcgdexClient &client, QStringList &rarities, QEventLoop &loop)
{
    return QObject::connect(&client, &TcgdexClient::rarityListReady, &loop,
                            [&rarities, &loop](int, pv::Language, const QStringList &received) {
                                rarities = received;
                                loop.quit();
                            });
}

QMetaObject::Connection captureSetIndex(TcgdexClient &client, QList<SetBrief> &sets, QEventLoop &loop)
{
    return QObject::connect(&client, &TcgdexClient::setIndexReady, &loop,
                            [&sets, &loop](int, pv::Language, const QList<pv::SetBrief> &received) {
                                sets = received;
                                loop.quit();
                            });
}

QMetaObject::Connection captureSetDetail(TcgdexClient &client, pv::SetDetail &detail, QEventLoop &loop)
{
    return QObject::connect(&client, &TcgdexClient::setDetailReady, &loop,
                            [&detail, &loop](int, pv::Language, const pv::SetDetail &received) {
                                detail = received;
                                loop.quit();
                            });
}

QMetaObject::Connection captureImage(TcgdexClient &client, QPixmap &pixmap, QEventLoop &loop)
{
    return QObject::connect(&client, &TcgdexClient::imageReady, &loop,
                            [&pixmap, &loop](int, const QString &, const QPixmap &received) {
                                pixmap = received;
                                loop.quit();
                            });
}

QMetaObject::Connection captureCard(TcgdexClient &client, CardDetail &card, QEventLoop &loop)
{
    return QObject::connect(&client, &TcgdexClient::cardReady, &loop,
                            [&card, &loop](int, pv::Language, const pv::CardDetail &received) {
                                card = received;
                                loop.quit();
                            });
}

QMetaObject::Connection captureCardList(TcgdexClient &client, CardsByRaritySignal signal,
                                        QList<CardBrief> &cards, QEventLoop &loop)
{
    return QObject::connect(&client, signal, &loop,
                            [&cards, &loop](int, pv::Language, const QString &, const QList<pv::CardBrief> &received) {
                                cards = received;
                                loop.quit();
                            });
}

QMetaObject::Connection captureCardList(TcgdexClient &client, CardsByDexIdSignal signal,
                                        QList<CardBrief> &cards, QEventLoop &loop)
{
    return QObject::connect(&client, signal, &loop,
                            [&cards, &loop](int, pv::Language, int, const QList<pv::CardBrief> &received) {
                                cards = received;
                                loop.quit();
                            });
}

QMetaObject::Connection captureCardCount(TcgdexClient &client, int &count, QEventLoop &loop)
{
    return QObject::connect(&client, &TcgdexClient::cardsByRarityReady, &loop,
                            [&count, &loop](int, pv::Language, const QString &, const QList<pv::CardBrief> &received) {
                                count = int(received.size());
                                loop.quit();
                            });
}

} // namespace pv::selftest
