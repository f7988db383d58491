#include "ui/dialogs/DialogPrompts.h"

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

void DialogPrompts::setSaveFileName(SaveFileName answer) { answers().saveFileName = std::move(answer); }
void DialogPrompts::setExistingDirectory(ExistingDirectory answer) { answers().existingDirectory = std::move(answer); }
void DialogPrompts::setWarning(Warning answer) { answers().warning = std::move(answer); }
void DialogPrompts::setPrintDialog(PrintDialog answer) { answers().printDialog = std::move(answer); }
void DialogPrompts::setExec(ExecDialog answer) { answers().exec = std::move(answer); }
void DialogPrompts::reset() { answers() = Answers(); }

} // namespace pv
