#include "TestRegistry.h"
#include "TestSupport.h"
#include "ui/DialogTestSupport.h"

#include "core/Log.h"
#include "ui/dialogs/LogDialog.h"

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBlock>

using namespace pv;

using test::child;

namespace {

QStringList shownLines(QWidget &dialog)
{
    const QString text = child<QPlainTextEdit>(dialog, "logView")->toPlainText();
    return text.isEmpty() ? QStringList() : text.split(QLatin1Char('\n'));
}

// The foreground colour the view gives its first line.
QString firstLineColor(QWidget &dialog)
{
    const QTextBlock block = child<QPlainTextEdit>(dialog, "logView")->document()->firstBlock();
    return block.begin().fragment().charFormat().foreground().color().name();
}

// Twelve entries: five of them WARN or ERROR mentioning tcgdex in some case.
void fillLog()
{
    Log &log = Log::instance();
    log.append(Log::Debug, QStringLiteral("tcgdex"), QStringLiteral("GET /cards/a"));
    log.append(Log::Info, QStringLiteral("tcgdex"), QStringLiteral("card a ready"));
    log.append(Log::Warn, QStringLiteral("tcgdex"), QStringLiteral("retrying a"));
    log.append(Log::Warn, QStringLiteral("network"), QStringLiteral("TCGdex is slow"));
    log.append(Log::Error, QStringLiteral("network"), QStringLiteral("https://api.TcgDex.net timed out"));
    log.append(Log::Error, QStringLiteral("TCGDEX"), QStringLiteral("card b failed"));
    log.append(Log::Warn, QStringLiteral("prices"), QStringLiteral("tcgdexless group"));
    log.append(Log::Warn, QStringLiteral("prices"), QStringLiteral("no group"));
    log.append(Log::Error, QStringLiteral("file"), QStringLiteral("save failed"));
    log.append(Log::Info, QStringLiteral("app"), QStringLiteral("starting"));
    log.append(Log::Debug, QStringLiteral("cache"), QStringLiteral("hit"));
    log.append(Log::Info, QStringLiteral("fx"), QStringLiteral("rates"));
}

} // namespace

class LogDialogTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void init() { Log::instance().clear(); }

    // The level and text filters pick lines, the count says how many of the
    // log's lines are shown, and new entries follow the same filters.
    void filtersAndCountsLines()
    {
        fillLog();
        LogDialog dialog;
        QCOMPARE(shownLines(dialog).size(), 12);
        QCOMPARE(child<QLabel>(dialog, "countLabel")->text(), QStringLiteral("12 line(s)"));

        auto *level = child<QComboBox>(dialog, "levelCombo");
        QCOMPARE(level->count(), 4);
        level->setCurrentIndex(level->findText(QStringLiteral("Warnings and errors")));
        child<QLineEdit>(dialog, "filterEdit")->setText(QStringLiteral("  TCGDEX "));
        const QStringList lines = shownLines(dialog);
        QCOMPARE(lines.size(), 5);
        for (const QString &line : lines) {
            QVERIFY2(line.contains(QLatin1String("WARN")) || line.contains(QLatin1String("ERROR")), qPrintable(line));
            QVERIFY2(line.contains(QLatin1String("tcgdex"), Qt::CaseInsensitive), qPrintable(line));
        }
        QCOMPARE(child<QLabel>(dialog, "countLabel")->text(), QStringLiteral("5 of 12 lines"));

        // Hidden by the level: not shown, but counted.
        Log::info(QStringLiteral("tcgdex"), QStringLiteral("quiet"));
        QCOMPARE(shownLines(dialog).size(), 5);
        QCOMPARE(child<QLabel>(dialog, "countLabel")->text(), QStringLiteral("5 of 13 lines"));
        // Passing both filters: appended at the end, in the log's line format.
        Log::error(QStringLiteral("tcgdex"), QStringLiteral("loud <b>"));
        QVERIFY(shownLines(dialog).constLast().endsWith(QLatin1String("loud <b>")));
        QVERIFY(shownLines(dialog).constLast().contains(QLatin1String("  ERROR  tcgdex")));
        QCOMPARE(child<QLabel>(dialog, "countLabel")->text(), QStringLiteral("6 of 14 lines"));

        level->setCurrentIndex(level->findText(QStringLiteral("Errors only")));
        QCOMPARE(shownLines(dialog).size(), 3);
        child<QLineEdit>(dialog, "filterEdit")->clear();
        level->setCurrentIndex(0);
        QCOMPARE(shownLines(dialog).size(), 14);
        QCOMPARE(child<QLabel>(dialog, "countLabel")->text(), QStringLiteral("14 line(s)"));
    }

    void colorsLinesByLevelAndBackground()
    {
        QCOMPARE(LogDialog::levelColor(Log::Debug, true), QStringLiteral("#8a949e"));
        QCOMPARE(LogDialog::levelColor(Log::Error, false), QStringLiteral("#b3261e"));
        QCOMPARE(LogDialog::levelColor(7, true), QStringLiteral("#1f1f1f"));
        QCOMPARE(LogDialog::levelColor(-1, false), QStringLiteral("#1f1f1f"));

        Log::instance().append(Log::Warn, QStringLiteral("app"), QStringLiteral("warned"));
        LogDialog dialog;
        auto *view = child<QPlainTextEdit>(dialog, "logView");
        QPalette light = view->palette();
        light.setColor(QPalette::Base, Qt::white);
        view->setPalette(light);
        child<QLineEdit>(dialog, "filterEdit")->setText(QStringLiteral("warned"));
        QCOMPARE(firstLineColor(dialog), QStringLiteral("#9a5b00"));

        QPalette dark = view->palette();
        dark.setColor(QPalette::Base, QColor(20, 22, 24));
        view->setPalette(dark);
        child<QLineEdit>(dialog, "filterEdit")->setText(QStringLiteral("warne"));
        QCOMPARE(firstLineColor(dialog), QStringLiteral("#e3a33c"));

        Log::instance().clear();
        Log::instance().append(9, QStringLiteral("app"), QStringLiteral("odd"));
        QCOMPARE(shownLines(dialog), QStringList());
        child<QLineEdit>(dialog, "filterEdit")->setText(QStringLiteral("odd"));
        QCOMPARE(firstLineColor(dialog), QStringLiteral("#1f1f1f"));
    }

    // Unticked, a new line leaves the view where it is, even at the bottom;
    // ticked, the view goes to the bottom.
    void followsNewLinesOnlyWhenTicked()
    {
        for (int i = 0; i < 300; ++i)
            Log::info(QStringLiteral("app"), QStringLiteral("line %1").arg(i));
        Log::info(QStringLiteral("app"), QStringLiteral("wide ").repeated(60));
        LogDialog dialog;
        dialog.resize(900, 520);
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        // Opening shows the lines from their first column, times whole.
        QCOMPARE(child<QPlainTextEdit>(dialog, "logView")->horizontalScrollBar()->value(), 0);
        QScrollBar *bar = child<QPlainTextEdit>(dialog, "logView")->verticalScrollBar();
        QVERIFY(bar->maximum() > 0);
        QCOMPARE(bar->value(), bar->maximum());

        child<QCheckBox>(dialog, "followCheck")->setChecked(false);
        const int bottom = bar->value();
        Log::info(QStringLiteral("app"), QStringLiteral("one more"));
        QCOMPARE(bar->value(), bottom);
        QVERIFY(bar->maximum() > bottom);
        bar->setValue(10);
        Log::info(QStringLiteral("app"), QStringLiteral("and another"));
        QCOMPARE(bar->value(), 10);

        child<QCheckBox>(dialog, "followCheck")->setChecked(true);
        Log::info(QStringLiteral("app"), QStringLiteral("followed"));
        QCOMPARE(bar->value(), bar->maximum());
    }

    // Copy and save take the lines shown, not the whole log; saving logs its
    // success; a failed save warns, logs no success and leaves no file;
    // Clear empties the log itself.
    void copiesSavesAndClears()
    {
        fillLog();
        LogDialog dialog;
        child<QComboBox>(dialog, "levelCombo")->setCurrentIndex(3);
        const QString shown = child<QPlainTextEdit>(dialog, "logView")->toPlainText();
        QCOMPARE(shown.count(QLatin1Char('\n')), 2);

        child<QPushButton>(dialog, "copyButton")->click();
        QCOMPARE(QApplication::clipboard()->text(), shown);

        QTemporaryDir dir;
        test::PromptScope prompts;
        prompts.savePath = dir.filePath(QStringLiteral("saved.txt"));
        child<QPushButton>(dialog, "saveButton")->click();
        QCOMPARE(prompts.captions.size(), 1);
        QVERIFY(prompts.captions.first().startsWith(QLatin1String("Save log|")));
        QVERIFY(prompts.captions.first().contains(QLatin1String("/tallowk-log-")));
        QVERIFY(prompts.captions.first().endsWith(QLatin1String(".txt|Text files (*.txt);;All files (*)")));
        QCOMPARE(QString::fromUtf8(test::readFile(prompts.savePath)), shown + QLatin1Char('\n'));
        const auto written = [] {
            return test::logMessages(QStringLiteral("app")).filter(QStringLiteral("Log written to "));
        };
        QCOMPARE(written(), QStringList(QStringLiteral("Log written to %1").arg(prompts.savePath)));
        QVERIFY(prompts.warnings.isEmpty());

        // A folder cannot be written as a file; a missing folder neither.
        for (const QString &bad : {dir.path(), dir.filePath(QStringLiteral("missing/log.txt"))}) {
            prompts.savePath = bad;
            child<QPushButton>(dialog, "saveButton")->click();
        }
        QCOMPARE(prompts.warnings.size(), 2);
        QVERIFY(prompts.warnings.at(0).startsWith(QStringLiteral("Could not save the log|%1 could not be written: ")
                                                      .arg(dir.path())));
        QCOMPARE(written().size(), 1);
        QVERIFY(!QFileInfo::exists(dir.filePath(QStringLiteral("missing"))));

        // An empty answer saves nothing.
        prompts.savePath.clear();
        child<QPushButton>(dialog, "saveButton")->click();
        QCOMPARE(written().size(), 1);

        LogDialog other;
        child<QPushButton>(dialog, "clearButton")->click();
        QCOMPARE(Log::instance().count(), 0);
        for (LogDialog *viewer : {&dialog, &other}) {
            QCOMPARE(shownLines(*viewer), QStringList());
            QCOMPARE(child<QLabel>(*viewer, "countLabel")->text(), QStringLiteral("0 line(s)"));
        }
    }
};

PV_REGISTER_TEST(LogDialogTest)
#include "LogDialogTest.moc"
