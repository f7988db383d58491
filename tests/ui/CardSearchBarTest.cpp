#include "TestRegistry.h"

#include "core/SteadyClock.h"
#include "ui/widgets/CardSearchBar.h"

#include <QLineEdit>
#include <QSignalSpy>
#include <QTest>

using namespace pv;

namespace {

QLineEdit *field(CardSearchBar &bar, const char *name)
{
    auto *edit = bar.findChild<QLineEdit *>(QLatin1String(name));
    if (!edit)
        qFatal("the search bar has no field %s", name);
    return edit;
}

} // namespace

class CardSearchBarTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void cleanup() { SteadyClock::useRealTime(); }

    void typingANumberWholeSplitsWhenEditingEnds()
    {
        CardSearchBar bar;
        bar.show();
        QVERIFY(QTest::qWaitForWindowActive(&bar));
        QLineEdit *number = field(bar, "numberSearchEdit");
        QLineEdit *count = field(bar, "countSearchEdit");
        QSignalSpy changed(&bar, &CardSearchBar::queryChanged);
        QSignalSpy requested(&bar, &CardSearchBar::searchRequested);

        // The slash and the digits after it stay where they were typed; the
        // query reads the whole number meanwhile.
        number->setFocus();
        QTest::keyClicks(number, QStringLiteral("005/165"), Qt::NoModifier, 5);
        QCOMPARE(number->text(), QStringLiteral("005/165"));
        QCOMPARE(bar.query().number, QStringLiteral("005"));
        QCOMPARE(bar.query().printedTotal, 165);
        QVERIFY(changed.wait(1000));
        QTest::qWait(CardSearchBar::pauseMs + 100);
        QCOMPARE(changed.count(), 1);

        // Leaving the field splits it, silently: the query is the same.
        field(bar, "nameSearchEdit")->setFocus();
        QCOMPARE(number->text(), QStringLiteral("005"));
        QCOMPARE(count->text(), QStringLiteral("165"));
        QCOMPARE(bar.query().number, QStringLiteral("005"));
        QCOMPARE(bar.query().printedTotal, 165);
        QTest::qWait(CardSearchBar::pauseMs + 100);
        QCOMPARE(changed.count(), 1);
        QCOMPARE(requested.count(), 0);

        // Clearing the number takes the size split off it along; a size
        // typed afterwards replaces nothing.
        number->setFocus();
        number->selectAll();
        QTest::keyClick(number, Qt::Key_Backspace);
        QCOMPARE(count->text(), QString());
        count->setFocus();
        QTest::keyClicks(count, QStringLiteral("102"));
        QCOMPARE(count->text(), QStringLiteral("102"));
        QVERIFY(changed.wait(1000));
        QCOMPARE(bar.query().printedTotal, 102);

        // Return while a change is pending searches at once and cancels it;
        // a size of 0 leaves the count field alone, and so does clearing a
        // number when the size was typed by hand.
        number->setFocus();
        QTest::keyClicks(number, QStringLiteral("12/0"));
        QTest::keyClick(number, Qt::Key_Return);
        QCOMPARE(requested.count(), 1);
        QCOMPARE(number->text(), QStringLiteral("12"));
        QCOMPARE(count->text(), QStringLiteral("102"));
        QTest::qWait(CardSearchBar::pauseMs + 100);
        QCOMPARE(changed.count(), 2);
        number->selectAll();
        QTest::keyClick(number, Qt::Key_Backspace);
        QCOMPARE(count->text(), QStringLiteral("102"));
    }

    void buildsTheQueryFromTheFields()
    {
        CardSearchBar bar;
        QLineEdit *name = field(bar, "nameSearchEdit");
        QLineEdit *number = field(bar, "numberSearchEdit");
        QLineEdit *count = field(bar, "countSearchEdit");
        QCOMPARE(bar.objectName(), QStringLiteral("CardSearchBar"));
        QVERIFY(bar.query().isEmpty());

        name->setText(QStringLiteral("  Pikachu "));
        number->setText(QStringLiteral(" 25 "));
        count->setText(QStringLiteral("102"));
        CardQuery query = bar.query();
        QCOMPARE(query.text, QStringLiteral("Pikachu"));
        QCOMPARE(query.number, QStringLiteral("25"));
        QCOMPARE(query.printedTotal, 102);
        QVERIFY(query.setId.isEmpty() && query.seriesId.isEmpty() && query.rarities.isEmpty());

        // The count takes digits from 1 to 9999 only.
        count->clear();
        QTest::keyClicks(count, QStringLiteral("ab"));
        QCOMPARE(count->text(), QString());
        QTest::keyClicks(count, QStringLiteral("0"));
        QVERIFY(!count->hasAcceptableInput());
        QCOMPARE(bar.query().printedTotal, 0);
        count->clear();
        QTest::keyClicks(count, QStringLiteral("99999"));
        QCOMPARE(count->text(), QStringLiteral("9999"));
        count->clear();
        QCOMPARE(bar.query().printedTotal, 0);

        // A burst of edits in all three fields: one change, 200 ms after the
        // last, on a clock the test moves.
        SteadyClock::useManualTime();
        QSignalSpy changed(&bar, &CardSearchBar::queryChanged);
        QTest::keyClicks(name, QStringLiteral("ab"));
        SteadyClock::advance(CardSearchBar::pauseMs - 1);
        QTest::keyClicks(number, QStringLiteral("4"));
        SteadyClock::advance(CardSearchBar::pauseMs - 1);
        QTest::keyClicks(count, QStringLiteral("7"));
        SteadyClock::advance(CardSearchBar::pauseMs - 1);
        QTest::qWait(2 * CardSearchBar::pauseMs);
        QCOMPARE(changed.count(), 0);
        SteadyClock::advance(1);
        QVERIFY(changed.wait(1000));
        SteadyClock::advance(CardSearchBar::pauseMs);
        QTest::qWait(50);
        QCOMPARE(changed.count(), 1);
        SteadyClock::useRealTime();

        bar.focusSearch();
        QCOMPARE(name->selectedText(), name->text());
    }
};

PV_REGISTER_TEST(CardSearchBarTest)
#include "CardSearchBarTest.moc"
