#include "TestRegistry.h"

#include "ui/widgets/ColorButton.h"

#include <QApplication>
#include <QColorDialog>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

#include <functional>

using pv::ColorButton;

namespace {

// Answers the next colour dialog once it is open: the answer gets the dialog
// (to read and set) and tells whether to accept it.
void answerColorDialog(QString *title, const std::function<bool(QColorDialog *)> &answer)
{
    auto *poll = new QTimer;
    QObject::connect(poll, &QTimer::timeout, poll, [poll, title, answer] {
        auto *dialog = qobject_cast<QColorDialog *>(QApplication::activeModalWidget());
        if (!dialog)
            return;
        poll->stop();
        poll->deleteLater();
        *title = dialog->windowTitle();
        if (answer(dialog))
            dialog->accept();
        else
            dialog->reject();
    });
    poll->start(10);
}

QColor framePixel(const ColorButton &button)
{
    return button.icon().pixmap(QSize(16, 16)).toImage().pixelColor(0, 0);
}

} // namespace

class ColorButtonTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void showsTheColourAndTakesOnlyNewOnes()
    {
        ColorButton button;
        QSignalSpy changed(&button, &ColorButton::colorChanged);
        QCOMPARE(button.text(), QStringLiteral("Choose..."));
        QVERIFY(!button.color().isValid());
        QCOMPARE(button.iconSize(), QSize(16, 16));

        button.setColor(QColor(0x1f, 0x4e, 0xa8));
        QCOMPARE(button.text(), QStringLiteral("#1F4EA8"));
        QCOMPARE(button.color(), QColor(0x1f, 0x4e, 0xa8));
        QCOMPARE(button.icon().pixmap(QSize(16, 16)).toImage().pixelColor(8, 8), QColor(0x1f, 0x4e, 0xa8));
        button.setColor(QColor());
        QCOMPARE(button.color(), QColor(0x1f, 0x4e, 0xa8));
        QCOMPARE(changed.size(), 0);

        // The same colour chosen again emits nothing; a cancelled dialog changes nothing.
        QString title;
        answerColorDialog(&title, [](QColorDialog *dialog) {
            dialog->setCurrentColor(QColor(0x1f, 0x4e, 0xa8));
            return true;
        });
        button.click();
        QCOMPARE(title, QStringLiteral("Label Border Colour"));
        QCOMPARE(changed.size(), 0);
        answerColorDialog(&title, [](QColorDialog *dialog) {
            dialog->setCurrentColor(Qt::red);
            return false;
        });
        button.click();
        QCOMPARE(changed.size(), 0);
        QCOMPARE(button.color(), QColor(0x1f, 0x4e, 0xa8));

        answerColorDialog(&title, [](QColorDialog *dialog) {
            dialog->setCurrentColor(QColor(0xc0, 0x30, 0x0a));
            return true;
        });
        button.click();
        QCOMPARE(changed.size(), 1);
        QCOMPARE(changed.at(0).at(0).value<QColor>(), QColor(0xc0, 0x30, 0x0a));
        QCOMPARE(button.text(), QStringLiteral("#C0300A"));
    }

    void swatchFrameFollowsThePalette()
    {
        ColorButton button;
        button.setColor(Qt::white);
        QPalette palette = button.palette();
        palette.setColor(QPalette::Mid, QColor(10, 200, 30));
        button.setPalette(palette);
        QCOMPARE(framePixel(button), QColor(10, 200, 30));
        palette.setColor(QPalette::Mid, QColor(200, 10, 90));
        button.setPalette(palette);
        QCOMPARE(framePixel(button), QColor(200, 10, 90));
    }
};

PV_REGISTER_TEST(ColorButtonTest)
#include "ColorButtonTest.moc"
