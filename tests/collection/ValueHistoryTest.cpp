#include "Fixtures.h"
#include "TestRegistry.h"

#include "collection/ValueHistory.h"

#include <QTest>

using namespace pv;

namespace {

HistoryPoint point(const QDate &date, double total, int cards, QHash<QString, HistorySetValue> sets = {})
{
    HistoryPoint p;
    p.date = date;
    p.totalEur = total;
    p.cards = cards;
    p.sets = std::move(sets);
    return p;
}

ChartScope scope(int mode, int language = 0, const QString &setKey = QString())
{
    ChartScope s;
    s.mode = mode;
    s.language = language;
    s.setKey = setKey;
    return s;
}

} // namespace

class ValueHistoryTest : public QObject
{
    Q_OBJECT

    QList<HistoryPoint> m_history;
    QHash<QString, SetRecord> m_sets;

private slots:
    void init()
    {
        m_history = {point(QDate(2026, 1, 5), 5.0, 2),
                     point(QDate(2026, 1, 12), 30.0, 6,
                           {{QStringLiteral("en:sv03"), {20.0, 4}}, {QStringLiteral("ja:QX1"), {10.0, 2}}}),
                     point(QDate(2026, 1, 19), 45.0, 7,
                           {{QStringLiteral("en:sv03"), {25.0, 4}}, {QStringLiteral("en:base1"), {20.0, 3}}})};
        m_sets = {{QStringLiteral("en:sv03"),
                   test::setRecord(QStringLiteral("sv03"), QStringLiteral("Obsidian Flames"), QString(), 3)},
                  {QStringLiteral("ja:QX1"),
                   test::setRecord(QStringLiteral("QX1"), QStringLiteral("Ruler"), QString(), 3, 0, 0,
                                   Language::Japanese)}};
    }

    void collectionScopeKeepsEveryPoint()
    {
        const ValueHistory::ChartData data = ValueHistory::build(m_history, m_sets, scope(ChartScope::Collection));
        QCOMPARE(data.title, QStringLiteral("Collection value history"));
        QCOMPARE(data.points, m_history);
        QCOMPARE(data.firstBreakdownIndex, 1);
        QCOMPARE(data.series.size(), 3);
        QCOMPARE(data.series.at(0).key, QStringLiteral("en:sv03"));
        QCOMPARE(data.series.at(0).label, QStringLiteral("EN / Obsidian Flames"));
        QCOMPARE(data.series.at(0).values, (QList<double>{0.0, 20.0, 25.0}));
        QCOMPARE(data.series.at(0).latestEur, 25.0);
        // base1 peaks at 20 like nothing else; SV3 peaks at 10.
        QCOMPARE(data.series.at(1).key, QStringLiteral("en:base1"));
        QCOMPARE(data.series.at(1).label, QStringLiteral("EN / base1"));
        QCOMPARE(data.series.at(2).label, QStringLiteral("JA / Ruler"));
        QCOMPARE(data.series.at(2).latestEur, 0.0);

        const auto flat = ValueHistory::build({point(QDate(2026, 1, 5), 1.0, 1)}, m_sets, scope(7));
        QCOMPARE(flat.points.size(), 1);
        QCOMPARE(flat.firstBreakdownIndex, -1);
        QVERIFY(flat.series.isEmpty());
    }

    void languageScopeSumsItsOwnSets()
    {
        const auto english = ValueHistory::build(m_history, m_sets, scope(ChartScope::Language, 0));
        QCOMPARE(english.title, QStringLiteral("Value history - English"));
        QCOMPARE(english.points.size(), 2);
        QCOMPARE(english.points.at(0).totalEur, 20.0);
        QCOMPARE(english.points.at(0).cards, 4);
        QCOMPARE(english.points.at(1).totalEur, 45.0);
        QCOMPARE(english.firstBreakdownIndex, 0);
        QCOMPARE(english.series.size(), 2);
        QCOMPARE(english.series.at(0).label, QStringLiteral("Obsidian Flames"));

        const auto japanese = ValueHistory::build(m_history, m_sets, scope(ChartScope::Language, 1));
        QCOMPARE(japanese.points.size(), 2);
        QCOMPARE(japanese.points.at(1).totalEur, 0.0);
        QCOMPARE(japanese.points.at(1).cards, 0);
        QCOMPARE(japanese.series.size(), 1);
        QCOMPARE(japanese.series.at(0).values, (QList<double>{10.0, 0.0}));
    }

    void setScopeFollowsOneSet()
    {
        const auto sv03 = ValueHistory::build(m_history, m_sets, scope(ChartScope::Set, 0, QStringLiteral("en:sv03")));
        QCOMPARE(sv03.title, QStringLiteral("Value history - Obsidian Flames"));
        QCOMPARE(sv03.points.size(), 2);
        QCOMPARE(sv03.points.at(1).totalEur, 25.0);
        QCOMPARE(sv03.points.at(1).cards, 4);
        QVERIFY(sv03.points.at(1).sets.isEmpty());
        QVERIFY(sv03.series.isEmpty());
        QCOMPARE(sv03.firstBreakdownIndex, -1);

        const auto absent = ValueHistory::build(m_history, m_sets, scope(ChartScope::Set, 0, QStringLiteral("en:lc")));
        QVERIFY(absent.points.isEmpty());
        QCOMPARE(absent.title, QStringLiteral("Value history - lc"));
    }

    void twelveSetsAndTheRest()
    {
        QHash<QString, HistorySetValue> twelve;
        for (int i = 0; i < 12; ++i)
            twelve.insert(QStringLiteral("en:s%1").arg(i, 2, 10, QLatin1Char('0')), {100.0 - i, 1});
        auto data = ValueHistory::build({point(QDate(2026, 1, 5), 1.0, 1, twelve)}, {}, scope(0));
        QCOMPARE(data.series.size(), 12);

        QHash<QString, HistorySetValue> fourteen = twelve;
        fourteen.insert(QStringLiteral("en:t1"), {1.0, 1});
        fourteen.insert(QStringLiteral("en:t2"), {2.0, 1});
        data = ValueHistory::build({point(QDate(2026, 1, 5), 1.0, 1, twelve), point(QDate(2026, 1, 12), 1.0, 1, fourteen)},
                                   {}, scope(0));
        QCOMPARE(data.series.size(), 13);
        QCOMPARE(data.series.at(11).key, QStringLiteral("en:s11"));
        QCOMPARE(data.series.at(12).key, QString());
        QCOMPARE(data.series.at(12).label, QStringLiteral("Other (2 set(s))"));
        QCOMPARE(data.series.at(12).values, (QList<double>{0.0, 3.0}));
        QCOMPARE(data.series.at(12).latestEur, 3.0);
    }

    void rankingBreaksTiesByOrderThenKey()
    {
        const QHash<QString, HistorySetValue> sets{{QStringLiteral("en:b"), {100.0, 1}},
                                                   {QStringLiteral("en:a"), {100.0 + 1e-11, 1}},
                                                   {QStringLiteral("en:early"), {100.0, 1}},
                                                   {QStringLiteral("en:z"), {100.001, 1}}};
        const QHash<QString, SetRecord> records{
            {QStringLiteral("en:early"), test::setRecord(QStringLiteral("early"), QString(), QString(), 1)}};
        const auto data = ValueHistory::build({point(QDate(2026, 1, 5), 1.0, 1, sets)}, records, scope(0));
        QStringList order;
        for (const auto &series : data.series)
            order << series.key;
        QCOMPARE(order, (QStringList{QStringLiteral("en:z"), QStringLiteral("en:early"), QStringLiteral("en:a"),
                                     QStringLiteral("en:b")}));
    }

    void labelsAndLanguages()
    {
        QCOMPARE(ValueHistory::languageOfKey(QStringLiteral("ja:QX1"), Language::English), Language::Japanese);
        QCOMPARE(ValueHistory::languageOfKey(QStringLiteral(":SV3"), Language::Japanese), Language::Japanese);
        QCOMPARE(ValueHistory::languageOfKey(QStringLiteral("de:x"), Language::Japanese), Language::Japanese);
        QCOMPARE(ValueHistory::setLabel(m_sets, QStringLiteral("ja:QX9"), true), QStringLiteral("JA / QX9"));
        QCOMPARE(ValueHistory::setLabel(m_sets, QStringLiteral("plain"), false), QStringLiteral("plain"));
    }
};

PV_REGISTER_TEST(ValueHistoryTest)
#include "ValueHistoryTest.moc"
