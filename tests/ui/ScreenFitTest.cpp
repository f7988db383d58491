#include "TestRegistry.h"
#include "TestSupport.h"

#include "ui/ScreenFit.h"
#include "ui/dialogs/LabelPreviewDialog.h"
#include "ui/dialogs/PreferencesDialog.h"
#include "ui/mainwindow/MainWindow.h"

#include <QDataStream>
#include <QScreen>
#include <QTest>

#include <algorithm>

using namespace pv;

namespace {

// A window manager's frame: a title bar and thin borders. The offscreen
// platform draws none, so the cases assume this one.
const QMargins Frame(1, 20, 1, 5);

QRect outer(const QWidget &window)
{
    return window.geometry().marginsAdded(Frame);
}

} // namespace

class ScreenFitTest : public QObject
{
    Q_OBJECT

    QRect m_available;

private slots:
    void init()
    {
        m_available = QGuiApplication::primaryScreen()->availableGeometry();
        ScreenFit::setAssumedFrameMargins(Frame);
        test::setSetting(QStringLiteral("mainWindow"), QVariant());
    }

    void cleanup()
    {
        ScreenFit::setAssumedFrameMargins(std::nullopt);
        ScreenFit::stopWatching();
    }

    // A session saved on a larger screen comes back with its whole frame,
    // status bar included, on this one; a window as tall as the screen comes
    // back where it was, start after start.
    void restoredWindowKeepsItsFrameOnTheScreen()
    {
        {
            MainWindow window;
            window.setGeometry(QRect(m_available.topLeft() + QPoint(160, 107), m_available.size() * 2));
            window.saveWindowState();
        }
        {
            MainWindow window;
            QCOMPARE(outer(window), m_available);
        }
        const QRect tall(m_available.left() + 30, m_available.top() + Frame.top(), m_available.width() / 2,
                         m_available.height() - Frame.top() - Frame.bottom());
        for (int start = 0; start < 3; ++start) {
            MainWindow window;
            if (start == 0)
                window.setGeometry(tall);
            QCOMPARE(window.geometry(), tall);
            window.saveWindowState();
        }

        // The frame a previous session recorded; anything else records none.
        QByteArray saved;
        QDataStream out(&saved, QIODevice::WriteOnly);
        out << quint32(0x1D9D0CB) << quint16(3) << quint16(0) << QRect(10, 0, 802, 625) << QRect(11, 20, 800, 600);
        QCOMPARE(ScreenFit::savedFrameMargins(saved), Frame);
        QVERIFY(ScreenFit::savedFrameMargins(saved.left(20)).isNull());
        QVERIFY(ScreenFit::savedFrameMargins(saved.mid(1)).isNull());
    }

    // Print Labels (1060 x 900) and Preferences open inside a screen too
    // small for them; a dialog that fits keeps its size.
    void dialogsOpenWithinTheScreen()
    {
        ScreenFit::watchApplication();
        QWidget owner;
        owner.setGeometry(QRect(m_available.center(), QSize(300, 200)));
        owner.show();
        LabelPreviewDialog labels({}, std::nullopt, &owner);
        PreferencesDialog preferences(&owner);
        QDialog small(&owner);
        small.resize(300, 200);
        QVERIFY(labels.height() > m_available.height());
        for (QDialog *dialog : {static_cast<QDialog *>(&labels), static_cast<QDialog *>(&preferences), &small}) {
            dialog->show();
            QVERIFY(QTest::qWaitForWindowExposed(dialog));
            // Across all of it where the dialog's own minimum allows.
            const QRect frame = outer(*dialog);
            const int widest = std::max(m_available.width(), dialog->minimumWidth() + Frame.left() + Frame.right());
            QVERIFY2(frame.top() >= m_available.top() && frame.bottom() <= m_available.bottom()
                         && frame.left() >= m_available.left() && frame.width() <= widest,
                     qPrintable(dialog->windowTitle()));
        }
        QCOMPARE(small.size(), QSize(300, 200));
    }
};

PV_REGISTER_TEST(ScreenFitTest)
#include "ScreenFitTest.moc"
