#include "BinderFixtures.h"
#include "TestRegistry.h"
#include "UiTestSupport.h"

#include "catalog/TcgdexClient.h"
#include "core/CardArtwork.h"
#include "core/Currency.h"
#include "core/ServiceUrls.h"
#include "ui/widgets/BinderPageWidget.h"

#include <QBuffer>
#include <QImage>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QSignalSpy>
#include <QTest>

using namespace pv;
using pv::test::pocket;

namespace {

using test::PaintProbe;

void sendMouse(QWidget &widget, QEvent::Type type, const QPoint &at)
{
    QMouseEvent event(type, QPointF(at), QPointF(widget.mapToGlobal(at)), Qt::LeftButton,
                      type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&widget, &event);
}

QList<BinderCard> pockets(int count, int owned = 1)
{
    QList<BinderCard> cards;
    for (int i = 0; i < count; ++i)
        cards.append(pocket(QStringLiteral("tst1-%1").arg(i + 1), owned));
    return cards;
}

// Only what paintEvent draws, over a known backdrop.
QImage render(BinderPageWidget &widget, const QColor &backdrop)
{
    QImage image(widget.size(), QImage::Format_ARGB32_Premultiplied);
    image.fill(backdrop);
    widget.render(&image, QPoint(), QRegion(), QWidget::DrawChildren);
    return image;
}

void storePicture(TcgdexClient &client, const QString &base, const QColor &color)
{
    QImage image(63, 88, QImage::Format_RGB32);
    image.fill(color);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    client.imageCache().store(cardImageUrl(base, false), bytes, QPixmap::fromImage(image));
}

} // namespace

class BinderPageWidgetTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void pageAndPocketGeometry()
    {
        BinderPageWidget page;
        page.resize(900, 700);
        QCOMPARE(page.pageRect(), QRect(199, 0, 501, 700));
        QCOMPARE(page.pocketRect(0), QRect(QPoint(199, 0), QPoint(365, 232)));
        QCOMPARE(page.cardRect(0), QRect(209, 14, 147, 205));

        // The cells tile the page: no gaps, no overlaps.
        QRegion covered;
        int area = 0;
        for (int i = 0; i < 9; ++i) {
            const QRect cell = page.pocketRect(i);
            QVERIFY(!covered.intersects(cell));
            covered += cell;
            area += cell.width() * cell.height();
        }
        QCOMPARE(covered, QRegion(page.pageRect()));
        QCOMPARE(area, 501 * 700);

        // Hit tests only find pockets that hold a card.
        QCOMPARE(page.pocketAt(page.pocketRect(4).center()), -1);
        page.setPockets(pockets(5));
        QCOMPARE(page.pocketAt(page.pocketRect(4).center()), 4);
        QCOMPARE(page.pocketAt(page.pocketRect(1).topLeft()), 1);
        QCOMPARE(page.pocketAt(page.pocketRect(1).bottomRight()), 1);
        QCOMPARE(page.pocketAt(page.pocketRect(7).center()), -1);
        QCOMPARE(page.pocketAt(QPoint(50, 350)), -1);

        page.setGrid(0, 12);
        QCOMPARE(page.columns(), 1);
        QCOMPARE(page.rows(), 8);
        QCOMPARE(page.minimumSizeHint(), QSize(94, 8 * 123));
    }

    void hoverAndActivation()
    {
        BinderPageWidget page;
        page.resize(900, 700);
        page.setPockets(pockets(9));
        page.show();
        QVERIFY(QTest::qWaitForWindowExposed(&page));
        PaintProbe probe;
        page.installEventFilter(&probe);

        sendMouse(page, QEvent::MouseMove, page.pocketRect(0).center());
        QCOMPARE(page.hoveredPocket(), 0);
        QCOMPARE(page.cursor().shape(), Qt::PointingHandCursor);
        QTRY_VERIFY(probe.paints > 0);

        // Moving to the next pocket repaints only the two cells involved.
        probe.painted = QRegion();
        probe.paints = 0;
        sendMouse(page, QEvent::MouseMove, page.pocketRect(1).center());
        QCOMPARE(page.hoveredPocket(), 1);
        QTRY_VERIFY(probe.paints > 0);
        QCOMPARE(probe.painted, QRegion(page.pocketRect(0)) + QRegion(page.pocketRect(1)));

        // The same grid keeps the hover; another grid drops it.
        page.setGrid(3, 3);
        QCOMPARE(page.hoveredPocket(), 1);
        sendMouse(page, QEvent::MouseMove, QPoint(20, 350));
        QCOMPARE(page.hoveredPocket(), -1);
        QCOMPARE(page.cursor().shape(), Qt::ArrowCursor);
        sendMouse(page, QEvent::MouseMove, page.pocketRect(2).center());
        QEvent leave(QEvent::Leave);
        QApplication::sendEvent(&page, &leave);
        QCOMPARE(page.hoveredPocket(), -1);

        QSignalSpy activated(&page, &BinderPageWidget::cardActivated);
        sendMouse(page, QEvent::MouseButtonDblClick, page.pocketRect(4).center());
        QCOMPARE(activated.size(), 1);
        QCOMPARE(activated.at(0).at(0).toString(), QStringLiteral("tst1-5"));
        sendMouse(page, QEvent::MouseButtonDblClick, QPoint(20, 350));
        QCOMPARE(activated.size(), 1);

        // A narrow pocket's caption keeps the name whole: the price, then the
        // number, take a line of their own and the details wrap.
        BinderCard card = pocket(QStringLiteral("sv03-125"), 1);
        card.name = QStringLiteral("Charizard ex");
        card.setName = QStringLiteral("Obsidian Flames");
        card.value = 12.5;
        const QFontMetrics fm(page.font());
        const QString price = Currency::formatFromEur(12.5);
        int width = fm.horizontalAdvance(QStringLiteral("125  Charizard ex")) + 2;
        QCOMPARE(BinderPageWidget::captionLines(card, fm, width, 6),
                 QStringList(
                     {QStringLiteral("125  Charizard ex"), price, card.setName, QStringLiteral("Owned: 1 copy(s)")}));
        width = fm.horizontalAdvance(card.name) + 2;
        QCOMPARE(BinderPageWidget::captionLines(card, fm, width, 2).first(), card.name);
        QCOMPARE(BinderPageWidget::captionLines(card, fm, 1000, 2).first(),
                 QStringLiteral("125  Charizard ex - ") + price);
    }

    // Pockets, outlines, badges and the grid take their colours from the
    // palette and the colour properties, never from fixed values.
    void paintsFromThemeColours()
    {
        BinderPageWidget page;
        page.resize(900, 700);
        const QColor backdrop(1, 2, 3);
        QCOMPARE(render(page, backdrop), [&] {
            QImage blank(page.size(), QImage::Format_ARGB32_Premultiplied);
            blank.fill(backdrop);
            return blank;
        }());

        QPalette palette = page.palette();
        palette.setColor(QPalette::Highlight, QColor(0, 0, 250));
        page.setPalette(palette);
        QVERIFY(page.setProperty("missingColor", QColor(250, 0, 0)));
        QVERIFY(page.setProperty("pocketColor", QColor(0, 200, 0)));
        QVERIFY(page.setProperty("gridColor", QColor(200, 200, 200)));
        page.setPockets({pocket(QStringLiteral("tst1-1"), 0), pocket(QStringLiteral("tst1-2"), 1),
                         pocket(QStringLiteral("tst1-3"), 2)});
        const QImage image = render(page, backdrop);

        const QRect page0 = page.pageRect();
        QCOMPARE(image.pixelColor(page0.left() + 1, page0.top() + 1), QColor(200, 200, 200).darker(200));
        for (int i = 0; i < 3; ++i)
            QCOMPARE(image.pixelColor(page.cardRect(i).center()), QColor(0, 200, 0));
        const QRect missing = page.cardRect(0);
        QCOMPARE(image.pixelColor(missing.left() + 2, missing.center().y()), QColor(250, 0, 0));
        const QRect single = page.cardRect(1);
        QCOMPARE(image.pixelColor(single.left() + 2, single.center().y()), QColor(0, 200, 0));
        const QRect copies = page.cardRect(2);
        QCOMPARE(image.pixelColor(copies.right() - 6, copies.top() + 6), QColor(0, 0, 250));
        QCOMPARE(image.pixelColor(single.right() - 6, single.top() + 6), QColor(0, 200, 0));
        QCOMPARE(image.pixelColor(page.pocketRect(4).center()), backdrop);
    }

    // Cached pictures are drawn, a missing card's faded; the others are
    // fetched once each and shown when they arrive.
    void picturesFromTheClient()
    {
        TcgdexClient client;
        const QString cachedBase = QStringLiteral("http://pictures.invalid/en/tst/tst1/1");
        storePicture(client, cachedBase, QColor(250, 0, 0));
        const QString remoteBase = ServiceUrls::defaultAssetsBase() + QStringLiteral("/en/sv/sv03/050");

        BinderPageWidget page;
        page.resize(900, 700);
        page.setTcgdexClient(&client);
        QSignalSpy ready(&client, &TcgdexClient::imageReady);
        page.setPockets({pocket(QStringLiteral("tst1-1"), 1, cachedBase), pocket(QStringLiteral("tst1-2"), 0, cachedBase),
                         pocket(QStringLiteral("sv03-050"), 1, remoteBase)});
        page.setPockets(page.pockets());
        QTRY_COMPARE(ready.size(), 1);
        QCOMPARE(ready.at(0).at(1).toString(), cardImageUrl(remoteBase, false));
        QTest::qWait(50);
        QCOMPARE(ready.size(), 1);

        const QImage image = render(page, QColor(0, 0, 0));
        QCOMPARE(image.pixelColor(page.cardRect(0).center()), QColor(250, 0, 0));
        const QColor faded = image.pixelColor(page.cardRect(1).center());
        QVERIFY2(faded.red() < 150 && faded.green() > 0, qPrintable(faded.name()));
        QVERIFY(image.pixelColor(page.cardRect(2).center()) != page.pocketColor());
    }
};

PV_REGISTER_TEST(BinderPageWidgetTest)
#include "BinderPageWidgetTest.moc"
