#include "TestRegistry.h"
#include "TestSupport.h"
#include "UiTestSupport.h"

#include "ui/ScreenFit.h"
#include "ui/dialogs/LabelPreviewDialog.h"
#include "ui/dialogs/PreferencesDialog.h"
#include "ui/mainwindow/MainWindow.h"

#include <QDataStream>
#include <QScreen>
#include <QTest>

#include <algorithm>

using namespace pv;

// Windows are measured with a window manager's frame (title bar, thin
// borders), which the offscreen platform does not draw.
class ScreenFitTest : public QObject
{
    Q_OBJECT

    const QMargins m_frame{1, 20, 1, 5};
    QRect outer(const QWidget &window) const { return window.geometry().marginsAdded(m_frame); }

private slots:
    void init() { ScreenFit::setAssumedFrameMargins(m_frame); }
    void cleanup()
    {
        ScreenFit::setAssumedFrameMargins(std::nullopt);
        ScreenFit::setAssumedScreen(std::nullopt);
        ScreenFit::stopWatching();
    }

    // On laptop screens a first start, and a layout saved on a larger
    // screen, fit with the collection, the binders' buttons and the status
    // bar in view, the collection the wider dock; the search opened too.
    void windowFitsLaptopScreens()
    {
        const test::DefaultTheme themed;
        for (const QRect &screen : {QRect(0, 0, 1280, 720), QRect(0, 0, 1024, 768)}) {
            for (const bool saved : {false, true}) {
                test::setSetting(QStringLiteral("mainWindow"), QVariant());
                for (const QRect &on : saved ? QList{QRect(0, 0, 1600, 1000), screen} : QList{screen}) {
                    ScreenFit::setAssumedScreen(on);
                    MainWindow window;
                    if (on != screen)
                        window.resize(1590, 950);
                    window.show();
                    QVERIFY(QTest::qWaitForWindowExposed(&window));
                    for (const bool searching : {false, on == screen}) {
                        if (searching)
                            window.findCard();
                        QCoreApplication::processEvents();
                        QVERIFY(outer(window).width() <= on.width() && outer(window).height() <= on.height());
                        for (const char *name :
                             {"collectionTree", "newBinderButton", "deleteBinderButton", "statusbar"}) {
                            const auto *widget = window.findChild<QWidget *>(QLatin1String(name));
                            QVERIFY2(window.rect().contains(QRect(widget->mapTo(&window, QPoint()), widget->size())),
                                     name);
                        }
                        QVERIFY(window.findChild<QWidget *>(QStringLiteral("treeDock"))->width()
                                > window.findChild<QWidget *>(QStringLiteral("previewDock"))->width());
                    }
                    window.saveWindowState();
                }
            }
        }
        test::setSetting(QStringLiteral("mainWindow"), QVariant());
    }

    // A first start and a session saved on a larger screen both come back
    // with their whole frame, status bar included, on this one; a window as
    // tall as the screen comes back where it was, start after start.
    void restoredWindowKeepsItsFrameOnTheScreen()
    {
        const QRect available = QGuiApplication::primaryScreen()->availableGeometry();
        test::setSetting(QStringLiteral("mainWindow"), QVariant());
        QCOMPARE(outer(MainWindow()).size(), available.size());
        MainWindow large;
        large.setGeometry(QRect(available.topLeft() + QPoint(160, 107), available.size() * 2));
        large.saveWindowState();
        QCOMPARE(outer(MainWindow()), available);
        const QRect tall = available.adjusted(30, m_frame.top(), -available.width() / 2, -m_frame.bottom());
        for (int start = 0; start < 3; ++start) {
            MainWindow window;
            if (start == 0)
                window.setGeometry(tall);
            QCOMPARE(window.geometry(), tall);
            window.saveWindowState();
        }
        test::setSetting(QStringLiteral("mainWindow"), QVariant());

        // The frame a previous session recorded; cut short, none.
        QByteArray saved;
        QDataStream(&saved, QIODevice::WriteOnly)
            << quint32(0x1D9D0CB) << quint16(3) << quint16(0) << QRect(10, 0, 802, 625) << QRect(11, 20, 800, 600);
        QCOMPARE(ScreenFit::savedFrameMargins(saved), m_frame);
        QVERIFY(ScreenFit::savedFrameMargins(saved.left(20)).isNull());
    }

    // Print Labels (1060 x 900) and Preferences open inside a screen too
    // small for them, across all of it where their minimum allows; a dialog
    // that fits keeps its size.
    void dialogsOpenWithinTheScreen()
    {
        const QRect available = QGuiApplication::primaryScreen()->availableGeometry();
        ScreenFit::watchApplication();
        QWidget owner;
        owner.setGeometry(QRect(available.center(), QSize(300, 200)));
        owner.show();
        LabelPreviewDialog labels({}, std::nullopt, &owner);
        PreferencesDialog preferences(&owner);
        QDialog small(&owner);
        small.resize(300, 200);
        for (QDialog *dialog : {static_cast<QDialog *>(&labels), static_cast<QDialog *>(&preferences), &small}) {
            dialog->show();
            QVERIFY(QTest::qWaitForWindowExposed(dialog));
            const QRect frame = outer(*dialog);
            const int widest = std::max(available.width(), dialog->minimumWidth() + m_frame.left() + m_frame.right());
            QVERIFY2(frame.top() >= available.top() && frame.bottom() <= available.bottom()
                         && frame.left() >= available.left() && frame.width() <= widest,
                     qPrintable(dialog->windowTitle()));
        }
        QCOMPARE(small.size(), QSize(300, 200));
    }
};

PV_REGISTER_TEST(ScreenFitTest)
#include "ScreenFitTest.moc"
