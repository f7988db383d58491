#include "TestRegistry.h"

#include "ui/widgets/StatusLine.h"

#include <QLabel>
#include <QTest>
#include <QVBoxLayout>

using pv::StatusLine;

// A word-wrapped label held in a layout by a status line.
class StatusLineTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void theLayoutHearsOfTextsThatChangeTheLinesSize()
    {
        QWidget window;
        auto *layout = new QVBoxLayout(&window);
        auto *label = new QLabel(QStringLiteral("12 cards"));
        label->setWordWrap(true);
        auto *line = new StatusLine(label, &window);
        layout->addWidget(line);
        layout->addWidget(new QWidget(&window), 1);
        window.resize(200, 300);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QCOMPARE(label->geometry(), line->rect());
        const int oneLine = line->height();

        // A text of the same size leaves the layouts alone.
        label->setText(QStringLiteral("34 cards"));
        QVERIFY(!line->followLabel());

        // One that wraps onto more lines makes the line taller at once.
        label->setText(QStringLiteral("No card you own matches. Try the catalog to find one you do not."));
        QVERIFY(line->followLabel());
        layout->activate();
        QVERIFY(line->height() > oneLine);
        QCOMPARE(line->height(), label->heightForWidth(line->width()));
        QCOMPARE(label->geometry(), line->rect());

        // Changed while hidden, it is caught up with when shown.
        window.hide();
        label->setText(QStringLiteral("1 card"));
        window.show();
        QTRY_COMPARE(line->height(), oneLine);
        QCOMPARE(label->geometry(), line->rect());
    }
};

PV_REGISTER_TEST(StatusLineTest)
#include "StatusLineTest.moc"
