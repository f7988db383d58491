#include "Fixtures.h"
#include "TestRegistry.h"
#include "TestSupport.h"

#include "catalog/TcgdexClient.h"
#include "collection/AddBinderCommand.h"
#include "collection/Collection.h"
#include "ui/ThemeManager.h"
#include "ui/mainwindow/MainWindow.h"
#include "ui/widgets/CardDetailsWidget.h"
#include "ui/widgets/WrappingCheckBox.h"

#include <QCheckBox>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QRadioButton>
#include <QSignalSpy>
#include <QStyleOptionButton>
#include <QTest>
#include <QToolBar>
#include <QUndoStack>

#include <algorithm>

using namespace pv;

namespace {

// The colours inside a rectangle of the picture.
QSet<QRgb> coloursIn(const QImage &image, const QRect &area)
{
    QSet<QRgb> colours;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            colours.insert(image.pixel(x, y));
    return colours;
}

// Whether two colours are told apart at a glance: their grey levels differ
// by more than a quarter of the scale.
bool contrasting(QRgb one, QRgb other)
{
    return std::abs(qGray(one) - qGray(other)) > 64;
}

} // namespace

// What the window shows is whole: the card's facts, the tick of a check
// box, the tool bar's buttons, the search name and the dialogs' headers.
class ShownWholeTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void cleanup()
    {
        ThemeManager::applyTheme(qApp, ThemeManager::defaultThemeName());
        test::setSetting(QStringLiteral("mainWindow"), QVariant());
    }

    // At the first-start size on a 1366 x 768 and a 1600 x 1000 screen, a
    // long set name, illustrator, rarity and custom price each take the
    // lines they need.
    void cardFactsTakeTheLinesTheyNeed()
    {
        ThemeManager::applyTheme(qApp, ThemeManager::defaultThemeName());
        for (const QSize &size : {QSize(1280, 734), QSize(1280, 800)}) {
            MainWindow window;
            CardEntry entry = test::holding(QStringLiteral("base1"), QStringLiteral("4"), QStringLiteral("Charizard"));
            entry.customPriceEur = 1450.0;
            window.collection()->replaceContents(
                {entry},
                {{QStringLiteral("en:base1"),
                  test::setRecord(QStringLiteral("base1"), QStringLiteral("Prismatic Evolutions"),
                                  QStringLiteral("Scarlet & Violet"))}},
                {}, {}, std::nullopt);
            window.resize(size);
            window.show();
            QVERIFY(QTest::qWaitForWindowExposed(&window));
            window.resetLayout();
            auto *panel = window.findChild<CardDetailsWidget *>();
            QSignalSpy answered(window.tcgdexClient(), &TcgdexClient::cardReady);
            panel->showEntry(entry);
            QTRY_VERIFY(!answered.isEmpty());
            CardDetail card;
            card.id = entry.cardId;
            card.illustrator = QStringLiteral("Kagemaru Himeno");
            card.rarity = QStringLiteral("Special illustration rare");
            Q_EMIT window.tcgdexClient()->cardReady(answered.first().first().toInt(), Language::English, card);
            for (int level = 0; level < 12; ++level) // a layout request climbs one parent at a time
                QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);

            int wrapped = 0;
            for (const char *name : {"setValue", "serieValue", "rarityValue", "illustratorValue", "eurValue"}) {
                auto *value = panel->findChild<QLabel *>(QLatin1String(name));
                const QString why = QStringLiteral("%1 at %2 x %3").arg(QLatin1String(name)).arg(size.width()).arg(size.height());
                QVERIFY2(value->height() >= value->heightForWidth(value->width()), qPrintable(why));
                QVERIFY2(value->visibleRegion() == QRegion(value->rect()), qPrintable(why));
                wrapped += value->height() > value->fontMetrics().lineSpacing() + 4 ? 1 : 0;
            }
            QVERIFY(wrapped >= 2); // the names are long enough to need it
        }
    }

    // In every theme a ticked check box and a ticked radio button carry a
    // mark that stands out from their fill, and the pictures of ticked and
    // unticked ones differ, the window's own wrapping box and the item
    // views' boxes included.
    void ticksShowInEveryTheme()
    {
        QWidget page;
        auto *check = new QCheckBox(QStringLiteral("Show Japanese cards in English"), &page);
        auto *radio = new QRadioButton(QStringLiteral("Custom"), &page);
        auto *wrapping = new WrappingCheckBox(QStringLiteral("Show Rare Holo (12)"), &page);
        auto *list = new QListWidget(&page);
        auto *item = new QListWidgetItem(QStringLiteral("Common"), list);
        item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
        radio->move(0, 30);
        wrapping->move(0, 60);
        list->setGeometry(0, 90, 200, 60);
        page.resize(240, 160);
        page.show();
        QVERIFY(QTest::qWaitForWindowExposed(&page));

        const auto indicator = [](QAbstractButton *button, QStyle::SubElement element) {
            QStyleOptionButton option;
            option.initFrom(button);
            return button->style()->subElementRect(element, &option, button);
        };
        for (const ThemeInfo &theme : ThemeManager::availableThemes()) {
            ThemeManager::applyTheme(qApp, theme.id);
            const QList<std::pair<QAbstractButton *, QRect>> buttons = {
                {check, indicator(check, QStyle::SE_CheckBoxIndicator)},
                {radio, indicator(radio, QStyle::SE_RadioButtonIndicator)},
                {wrapping, indicator(wrapping, QStyle::SE_CheckBoxIndicator)}};
            for (const auto &[button, box] : buttons) {
                const QString why = theme.id + QLatin1Char(' ') + button->metaObject()->className();
                button->setChecked(false);
                const QImage off = button->grab().toImage();
                button->setChecked(true);
                const QImage on = button->grab().toImage();
                const QRect inside = box.adjusted(3, 3, -3, -3);
                QVERIFY2(coloursIn(off, inside) != coloursIn(on, inside), qPrintable(why));
                // The fill at the box's edge, and a mark inside it that
                // stands out from that fill.
                const QRgb fill = on.pixel(box.left() + 2, box.center().y());
                const QSet<QRgb> colours = coloursIn(on, inside);
                QVERIFY2(std::any_of(colours.cbegin(), colours.cend(),
                                     [fill](QRgb colour) { return contrasting(colour, fill); }),
                         qPrintable(why));
            }
            item->setCheckState(Qt::Unchecked);
            const QRect row = list->visualItemRect(item);
            const QImage off = list->viewport()->grab(row).toImage();
            item->setCheckState(Qt::Checked);
            QVERIFY2(off != list->viewport()->grab(row).toImage(), qPrintable(theme.id));
        }
    }

    // A long undo text leaves the tool bar's buttons where they are, all in
    // view at the window's opening width; the menu and the tool tip name the
    // whole command.
    void toolBarKeepsItsButtonsAfterALongUndoText()
    {
        ThemeManager::applyTheme(qApp, ThemeManager::defaultThemeName());
        MainWindow window;
        window.resize(1280, 734);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        Binder binder;
        binder.id = binder.name = QStringLiteral("360 Most Valuable Cards");
        binder.topValue = 360;
        window.undoStack()->push(new AddBinderCommand(window.collection(), binder));
        binder.id = binder.name = QStringLiteral("Another Long Binder Name");
        window.undoStack()->push(new AddBinderCommand(window.collection(), binder));
        window.undoStack()->undo();
        auto *bar = window.findChild<QToolBar *>(QStringLiteral("mainToolBar"));
        bar->layout()->activate();
        for (QAction *action : bar->actions()) {
            if (action->isSeparator())
                continue;
            QWidget *button = bar->widgetForAction(action);
            QVERIFY2(button->isVisible() && bar->rect().contains(button->geometry()),
                     qPrintable(action->objectName()));
        }
        auto *undo = window.findChild<QAction *>(QStringLiteral("actionUndo"));
        QCOMPARE(undo->iconText(), QStringLiteral("Undo"));
        QCOMPARE(bar->widgetForAction(undo)->toolTip(), QStringLiteral("Undo Add binder \"360 Most Valuable Cards\""));
        QCOMPARE(undo->text(), QStringLiteral("&Undo Add binder \"360 Most Valuable Cards\""));
        QCOMPARE(window.findChild<QAction *>(QStringLiteral("actionRedo"))->iconText(), QStringLiteral("Redo"));
    }

    // A layout saved in a window as wide as a 1600-pixel screen, restored
    // in a 1366-pixel one, still shows a name of twenty average characters
    // whole in the search, its clear button beside it.
    void searchNameShowsWholeInARestoredLayout()
    {
        ThemeManager::applyTheme(qApp, ThemeManager::defaultThemeName());
        {
            MainWindow wide;
            wide.resize(1600, 960);
            wide.show();
            QVERIFY(QTest::qWaitForWindowExposed(&wide));
            wide.resetLayout();
            wide.findCard();
            wide.saveWindowState();
        }
        MainWindow window;
        window.restoreWindowState();
        window.resize(1280, 734);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        window.findCard();
        auto *name = window.findChild<QLineEdit *>(QStringLiteral("nameSearchEdit"));
        const QString text = QStringLiteral("Teal Mask Ogerpon ex");
        QVERIFY(name->fontMetrics().horizontalAdvance(text) >= 20 * name->fontMetrics().averageCharWidth());
        name->setText(text);
        QCoreApplication::processEvents();
        // A text that does not fit scrolls: its end would then be nearer its
        // start than the text is long.
        name->setCursorPosition(0);
        const int start = name->inputMethodQuery(Qt::ImCursorRectangle).toRect().center().x();
        name->setCursorPosition(int(text.size()));
        QVERIFY2(name->inputMethodQuery(Qt::ImCursorRectangle).toRect().center().x() - start >= name->fontMetrics().horizontalAdvance(text) - 1,
                 qPrintable(QString::number(name->width())));
    }
};

PV_REGISTER_TEST(ShownWholeTest)
#include "ShownWholeTest.moc"
