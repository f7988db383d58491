#include "ui/dialogs/LogDialog.h"

#include "ui/dialogs/DialogPrompts.h"
#include "ui_LogDialog.h"

#include <QApplication>
#include <QClipboard>
#include <QDateTime>
#include <QDir>
#include <QFontDatabase>
#include <QSaveFile>
#include <QScrollBar>
#include <QStandardPaths>

namespace pv {

namespace {
// The view keeps this many lines; older ones drop off its top.
constexpr int maxViewLines = 20000;
} // namespace

LogDialog::LogDialog(QWidget *parent)
    : QDialog(parent)
    , m_ui(std::make_unique<Ui::LogDialog>())
{
    m_ui->setupUi(this);
    setWindowFlag(Qt::Window, true);
    m_ui->logView->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    m_ui->logView->document()->setMaximumBlockCount(maxViewLines);

    m_ui->levelCombo->addItem(tr("Everything"), 0);
    m_ui->levelCombo->addItem(tr("Info and above"), 1);
    m_ui->levelCombo->addItem(tr("Warnings and errors"), 2);
    m_ui->levelCombo->addItem(tr("Errors only"), 3);
    m_ui->levelCombo->setCurrentIndex(0);

    connect(m_ui->levelCombo, &QComboBox::currentIndexChanged, this, [this] {
        m_minimumLevel = m_ui->levelCombo->currentData().toInt();
        rebuild();
    });
    connect(m_ui->filterEdit, &QLineEdit::textChanged, this, [this](const QString &text) {
        m_filter = text.trimmed();
        rebuild();
    });
    connect(m_ui->copyButton, &QPushButton::clicked, this, &LogDialog::copyToClipboard);
    connect(m_ui->saveButton, &QPushButton::clicked, this, &LogDialog::save);
    connect(m_ui->clearButton, &QPushButton::clicked, this, [] { Log::instance().clear(); });
    connect(m_ui->closeButton, &QPushButton::clicked, this, &QWidget::close);
    connect(&Log::instance(), &Log::entryAppended, this, &LogDialog::onEntryAppended);
    connect(&Log::instance(), &Log::cleared, this, &LogDialog::rebuild);

    rebuild();
}

LogDialog::~LogDialog() = default;

QString LogDialog::levelColor(int level, bool dark)
{
    switch (level) {
    case Log::Debug: return dark ? QStringLiteral("#8a949e") : QStringLiteral("#767676");
    case Log::Info: return dark ? QStringLiteral("#d6dae0") : QStringLiteral("#1f1f1f");
    case Log::Warn: return dark ? QStringLiteral("#e3a33c") : QStringLiteral("#9a5b00");
    case Log::Error: return dark ? QStringLiteral("#ef6a6a") : QStringLiteral("#b3261e");
    default: return QStringLiteral("#1f1f1f");
    }
}

bool LogDialog::accepts(const LogEntry &entry) const
{
    if (entry.level < m_minimumLevel)
        return false;
    return m_filter.isEmpty() || entry.category.contains(m_filter, Qt::CaseInsensitive)
        || entry.message.contains(m_filter, Qt::CaseInsensitive);
}

void LogDialog::appendEntry(const LogEntry &entry)
{
    QScrollBar *horizontal = m_ui->logView->horizontalScrollBar();
    const int across = horizontal->value();
    const bool dark = m_ui->logView->palette().color(QPalette::Base).lightness() < 128;
    m_ui->logView->appendHtml(QStringLiteral("<span style=\"color:%1; white-space:pre\">%2</span>")
                                  .arg(levelColor(entry.level, dark), entry.format().toHtmlEscaped()));
    horizontal->setValue(across);
    ++m_shown;
}

void LogDialog::onEntryAppended(const pv::LogEntry &entry)
{
    if (accepts(entry)) {
        const bool follow = m_ui->followCheck->isChecked();
        QScrollBar *vertical = m_ui->logView->verticalScrollBar();
        const int down = vertical->value();
        appendEntry(entry);
        // The view scrolls along by itself when it sat at the bottom; without
        // following it stays exactly where the reader left it.
        vertical->setValue(follow ? vertical->maximum() : down);
    }
    updateStatus();
}

void LogDialog::rebuild()
{
    m_ui->logView->setUpdatesEnabled(false);
    m_ui->logView->clear();
    m_shown = 0;
    const QList<LogEntry> entries = Log::instance().entries();
    for (const LogEntry &entry : entries) {
        if (accepts(entry))
            appendEntry(entry);
    }
    m_ui->logView->setUpdatesEnabled(true);
    m_ui->logView->verticalScrollBar()->setValue(m_ui->logView->verticalScrollBar()->maximum());
    m_ui->logView->horizontalScrollBar()->setValue(0);
    updateStatus();
}

void LogDialog::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    // The view, shown first, brought its cursor into sight at the end of the
    // last line; a line wider than the view left the times cut at the left.
    m_ui->logView->horizontalScrollBar()->setValue(0);
}

void LogDialog::updateStatus()
{
    const int total = Log::instance().count();
    m_shown = std::min(m_shown, total);
    if (m_shown != total)
        m_ui->countLabel->setText(tr("%1 of %2 lines").arg(m_shown).arg(total));
    else
        m_ui->countLabel->setText(tr("%n line(s)", nullptr, total));
}

void LogDialog::copyToClipboard()
{
    QApplication::clipboard()->setText(m_ui->logView->toPlainText());
}

void LogDialog::save()
{
    const QString suggestion =
        QDir(QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation))
            .filePath(QStringLiteral("tallowk-log-%1.txt")
                          .arg(QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss"))));
    const QString path = DialogPrompts::saveFileName(this, tr("Save log"), suggestion,
                                                     tr("Text files (*.txt);;All files (*)"));
    if (path.isEmpty())
        return;

    // Written beside the target and moved over it only once complete, so a
    // full disk or a vanished folder never leaves half a log behind.
    QSaveFile file(path);
    const QByteArray bytes = (m_ui->logView->toPlainText() + QLatin1Char('\n')).toUtf8();
    const bool written = file.open(QIODevice::WriteOnly | QIODevice::Text) && file.write(bytes) == bytes.size()
        && file.commit();
    const QString shown = QDir::toNativeSeparators(path);
    if (!written) {
        // Read before the destructor drops the half-written temporary file.
        const QString reason = file.errorString();
        DialogPrompts::warning(this, tr("Could not save the log"), tr("%1 could not be written: %2").arg(shown, reason));
        return;
    }
    Log::info(QStringLiteral("app"), tr("Log written to %1").arg(shown));
}

} // namespace pv
