#include "ui/dialogs/DialogPrompts.h"

#include <QDesktopServices>
#include <QDialog>
#include <QFileDialog>
#include <QMessageBox>
#include <QPrintDialog>
#include <QPrinter>

namespace pv {

namespace {

struct Answers
{
    DialogPrompts::SaveFileName saveFileName;
    DialogPrompts::ExistingDirectory existingDirectory;
    DialogPrompts::Warning warning;
    DialogPrompts::PrintDialog printDialog;
    DialogPrompts::ExecDialog exec;
    DialogPrompts::OpenFileName openFileName;
    DialogPrompts::Question question;
    DialogPrompts::Information information;
    DialogPrompts::OpenUrl openUrl;
};

Answers &answers()
{
    static Answers replaced;
    return replaced;
}

} // namespace

QString DialogPrompts::saveFileName(QWidget *parent, const QString &caption, const QString &suggestion,
                                    const QString &filter)
{
    if (answers().saveFileName)
        return answers().saveFileName(parent, caption, suggestion, filter);
    return QFileDialog::getSaveFileName(parent, caption, suggestion, filter);
}

QString DialogPrompts::existingDirectory(QWidget *parent, const QString &caption, const QString &start)
{
    if (answers().existingDirectory)
        return answers().existingDirectory(parent, caption, start);
    return QFileDialog::getExistingDirectory(parent, caption, start, QFileDialog::ShowDirsOnly);
}

void DialogPrompts::warning(QWidget *parent, const QString &title, const QString &text)
{
    if (answers().warning) {
        answers().warning(parent, title, text);
        return;
    }
    QMessageBox::warning(parent, title, text, QMessageBox::Ok);
}

bool DialogPrompts::printDialog(QPrinter &printer, QWidget *parent, const QString &title)
{
    if (answers().printDialog)
        return answers().printDialog(printer, parent, title);
    QPrintDialog dialog(&printer, parent);
    dialog.setWindowTitle(title);
    return dialog.exec() == QDialog::Accepted;
}

int DialogPrompts::exec(QDialog &dialog)
{
    if (answers().exec)
        return answers().exec(dialog);
    return dialog.exec();
}

QString DialogPrompts::openFileName(QWidget *parent, const QString &caption, const QString &start,
                                    const QString &filter)
{
    if (answers().openFileName)
        return answers().openFileName(parent, caption, start, filter);
    return QFileDialog::getOpenFileName(parent, caption, start, filter);
}

QMessageBox::StandardButton DialogPrompts::question(QWidget *parent, const QString &title, const QString &text,
                                                    QMessageBox::StandardButtons buttons,
                                                    QMessageBox::StandardButton defaultButton)
{
    if (answers().question)
        return answers().question(parent, title, text, buttons, defaultButton);
    return QMessageBox::question(parent, title, text, buttons, defaultButton);
}

void DialogPrompts::information(QWidget *parent, const QString &title, const QString &text)
{
    if (answers().information) {
        answers().information(parent, title, text);
        return;
    }
    QMessageBox::information(parent, title, text, QMessageBox::Ok);
}

void DialogPrompts::about(QWidget *parent, const QString &title, const QString &text)
{
    if (answers().information) {
        answers().information(parent, title, text);
        return;
    }
    QMessageBox::about(parent, title, text);
}

bool DialogPrompts::openUrl(const QUrl &url)
{
    if (answers().openUrl)
        return answers().openUrl(url);
    return QDesktopServices::openUrl(url);
}

void DialogPrompts::setSaveFileName(SaveFileName answer) { answers().saveFileName = std::move(answer); }
void DialogPrompts::setExistingDirectory(ExistingDirectory answer) { answers().existingDirectory = std::move(answer); }
void DialogPrompts::setWarning(Warning answer) { answers().warning = std::move(answer); }
void DialogPrompts::setPrintDialog(PrintDialog answer) { answers().printDialog = std::move(answer); }
void DialogPrompts::setExec(ExecDialog answer) { answers().exec = std::move(answer); }
void DialogPrompts::setOpenFileName(OpenFileName answer) { answers().openFileName = std::move(answer); }
void DialogPrompts::setQuestion(Question answer) { answers().question = std::move(answer); }
void DialogPrompts::setInformation(Information answer) { answers().information = std::move(answer); }
void DialogPrompts::setOpenUrl(OpenUrl answer) { answers().openUrl = std::move(answer); }
void DialogPrompts::reset() { answers() = Answers(); }

} // namespace pv
