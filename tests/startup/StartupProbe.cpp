// Loaded into the program by the start-up test as a Qt generic plug-in. It
// reports on standard output what a person at the screen would see: each
// message box (then dismissed with its default answer), the main window's
// title and the log window's lines. Then it closes the main window, so the
// program ends the way a user would end it.
#include <QAction>
#include <QApplication>
#include <QGenericPlugin>
#include <QMainWindow>
#include <QMessageBox>
#include <QPushButton>
#include <QPlainTextEdit>
#include <QThread>
#include <QTimer>

#include <cstdio>

namespace {

void report(const QString &kind, const QString &text)
{
    for (const QString &line : text.split(QLatin1Char('\n')))
        std::printf("%s: %s\n", qPrintable(kind), line.toUtf8().constData());
    std::fflush(stdout);
}

class StartupProbe : public QObject
{
public:
    StartupProbe()
    {
        connect(&m_tick, &QTimer::timeout, this, &StartupProbe::look);
        m_tick.start(50);
    }

private:
    void look()
    {
        if (!qobject_cast<QApplication *>(QCoreApplication::instance()))
            return;
        for (QWidget *widget : QApplication::topLevelWidgets()) {
            auto *box = qobject_cast<QMessageBox *>(widget);
            if (box && box->isVisible()) {
                report(QStringLiteral("message"), box->windowTitle() + QLatin1Char('|') + box->text());
                box->done(box->defaultButton() ? box->standardButton(box->defaultButton()) : QMessageBox::Ok);
                return;
            }
        }
        // The main window is looked at only from the program's own event
        // loop, once start-up has finished and no dialog waits for an answer.
        if (QThread::currentThread()->loopLevel() != 1 || QApplication::activeModalWidget())
            return;
        QMainWindow *window = nullptr;
        for (QWidget *widget : QApplication::topLevelWidgets()) {
            if (auto *main = qobject_cast<QMainWindow *>(widget); main && main->isVisible())
                window = main;
        }
        if (!window)
            return;
        const auto *logView = window->findChild<QPlainTextEdit *>(QStringLiteral("logView"));
        if (!logView) {
            report(QStringLiteral("window"), window->windowTitle());
            if (QAction *showLog = window->findChild<QAction *>(QStringLiteral("actionShowLog")))
                showLog->trigger();
            else
                window->close();
            return;
        }
        report(QStringLiteral("log"), logView->toPlainText());
        m_tick.stop();
        window->close();
    }

    QTimer m_tick;
};

} // namespace

class StartupProbePlugin : public QGenericPlugin
{
    Q_OBJECT
    Q_PLUGIN_METADATA(IID QGenericPluginFactoryInterface_iid FILE "startupprobe.json")

public:
    QObject *create(const QString &key, const QString &) override
    {
        return key.compare(QLatin1String("startupprobe"), Qt::CaseInsensitive) == 0 ? new StartupProbe : nullptr;
    }
};

#include "StartupProbe.moc"
