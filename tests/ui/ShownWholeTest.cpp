#include "Fixtures.h"
#include "TestRegistry.h"
#include "TestSupport.h"

#include "catalog/TcgdexClient.h"
#include "collection/AddBinderCommand.h"
#include "collection/Collection.h"
#include "ui/ThemeManager.h"
#include "ui/mainwindow/MainWindow.h"
#include "ui/widgets/CardDetailsWidget.h"

#include <QCheckBox>
#include <QLabel>
#include <QLayout>
#include <QRadioButton>
#include <QSignalSpy>
#include <QStyleOptionButton>
#include <QTest>
#include <QToolBar>
#include <QUndoStack>

using namespace pv;

class ShownWholeTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init() { test::setSetting(QStringLiteral("mainWindow"), QVariant()); } // the first start's layout
    void cleanup() { ThemeManager::applyTheme(qApp, ThemeManager::defaultThemeName()); }

    // First-start sizes on 1366 x 768 and 1600 x 1000 screens: long facts
    // take their lines; a long undo text leaves every tool button in view.
    void factsAndToolBarShowWhole()
    {
        ThemeManager::applyTheme(qApp, ThemeManager::defaultThemeName());
        for (const QSize &size : {QSize(1280, 734), QSize(1280, 800)}) {
            MainWindow window;
            CardEntry entry = test::holding(QStringLiteral("base1"), QStringLiteral("4"), QStringLiteral("Charizard"));
            entry.customPriceEur = 1450.0;
            const SetRecord set = test::setRecord(QStringLiteral("base1"), QStringLiteral("Prismatic Evolutions"),
                                                  QStringLiteral("Scarlet & Violet"));
            window.collection()->replaceContents({entry}, {{QStringLiteral("en:base1"), set}}, {}, {}, std::nullopt);
            window.resize(size);
            window.show();
            QVERIFY(QTest::qWaitForWindowExposed(&window));
            QCoreApplication::processEvents(); // the first start lays the docks out
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

            for (const char *name : {"setValue", "serieValue", "rarityValue", "illustratorValue", "eurValue"}) {
                auto *value = panel->findChild<QLabel *>(QLatin1String(name));
                // Answers still on their way may lay the panel out again.
                QTRY_VERIFY2(value->height() >= value->heightForWidth(value->width())
                             && value->visibleRegion() == QRegion(value->rect()),
                         name);
            }
            Binder binder;
            for (const QString &name : {QStringLiteral("360 Most Valuable Cards"), QStringLiteral("Fire")}) {
                binder.id = binder.name = name;
                window.undoStack()->push(new AddBinderCommand(window.collection(), binder));
            }
            window.undoStack()->undo();
            auto *bar = window.findChild<QToolBar *>(QStringLiteral("mainToolBar"));
            bar->layout()->activate();
            for (QAction *action : bar->actions()) {
                QWidget *button = bar->widgetForAction(action);
                QVERIFY2(action->isSeparator() || (button->isVisible() && bar->rect().contains(button->geometry())),
                         qPrintable(action->objectName()));
            }
            auto *undo = bar->widgetForAction(window.findChild<QAction *>(QStringLiteral("actionUndo")));
            QCOMPARE(undo->toolTip(), QStringLiteral("Undo Add binder \"360 Most Valuable Cards\""));
        }
    }

    // In every theme a ticked check box or radio button shows a mark that
    // stands out from its fill.
    void ticksShowInEveryTheme()
    {
        QWidget page;
        auto *check = new QCheckBox(QStringLiteral("Show Japanese cards in English"), &page);
        auto *radio = new QRadioButton(QStringLiteral("Custom"), &page);
        radio->move(0, 30);
        page.show();
        QVERIFY(QTest::qWaitForWindowExposed(&page));
        for (const ThemeInfo &theme : ThemeManager::availableThemes()) {
            ThemeManager::applyTheme(qApp, theme.id);
            for (const auto &[button, indicator] :
                 {std::pair<QAbstractButton *, QStyle::SubElement>(check, QStyle::SE_CheckBoxIndicator),
                  {radio, QStyle::SE_RadioButtonIndicator}}) {
                QStyleOptionButton option;
                option.initFrom(button);
                const QRect box = button->style()->subElementRect(indicator, &option, button);
                button->setChecked(true);
                const QImage on = button->grab().toImage();
                const int fill = qGray(on.pixel(box.left() + 2, box.center().y()));
                bool marked = false;
                for (int y = box.top() + 3; y <= box.bottom() - 3; ++y)
                    for (int x = box.left() + 3; x <= box.right() - 3; ++x)
                        marked = marked || std::abs(qGray(on.pixel(x, y)) - fill) > 64;
                QVERIFY2(marked, qPrintable(theme.id));
            }
        }
    }
};

PV_REGISTER_TEST(ShownWholeTest)
#include "ShownWholeTest.moc"
