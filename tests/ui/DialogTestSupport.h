#pragma once

#include "ui/dialogs/DialogPrompts.h"

#include <QString>
#include <QStringList>
#include <QUrl>
#include <QWidget>

// What the dialogs under test asked of the file, print and message dialogs,
// and the answers they get. Every answer is put back to the real dialogs when
// the scope ends.
namespace pv::test {

// The named widget inside the window; the suite stops when the form lacks it.
template<typename T>
T *child(QWidget &window, const char *name)
{
    T *found = window.findChild<T *>(QLatin1String(name));
    if (!found)
        qFatal("%s has no %s", qPrintable(window.objectName()), name);
    return found;
}

struct PromptScope
{
    QString savePath;           // answer of the save-file dialog
    QString directory;          // answer of the folder dialog
    bool printAccepted = false; // answer of the print dialog
    QStringList captions;       // caption of every file, folder and print dialog opened
    QStringList warnings;       // "title|text" of every warning box
    QString openPath;           // answer of the open-file dialog
    // Answers of the question boxes, in turn; Cancel once they run out.
    QList<QMessageBox::StandardButton> questionAnswers;
    QStringList questions;      // "title|text" of every question box
    QStringList informations;   // "title|text" of every information and About box
    QStringList openedUrls;     // every address handed to the desktop
    bool urlOpens = true;       // answer of the desktop

    PromptScope()
    {
        DialogPrompts::setSaveFileName([this](QWidget *, const QString &caption, const QString &suggestion,
                                              const QString &filter) {
            captions.append(caption + QLatin1Char('|') + suggestion + QLatin1Char('|') + filter);
            return savePath;
        });
        DialogPrompts::setExistingDirectory([this](QWidget *, const QString &caption, const QString &start) {
            captions.append(caption + QLatin1Char('|') + start);
            return directory;
        });
        DialogPrompts::setWarning([this](QWidget *, const QString &title, const QString &text) {
            warnings.append(title + QLatin1Char('|') + text);
        });
        DialogPrompts::setPrintDialog([this](QPrinter &, QWidget *, const QString &title) {
            captions.append(title);
            return printAccepted;
        });
        DialogPrompts::setOpenFileName([this](QWidget *, const QString &caption, const QString &start,
                                              const QString &filter) {
            captions.append(caption + QLatin1Char('|') + start + QLatin1Char('|') + filter);
            return openPath;
        });
        DialogPrompts::setQuestion([this](QWidget *, const QString &title, const QString &text,
                                          QMessageBox::StandardButtons, QMessageBox::StandardButton) {
            questions.append(title + QLatin1Char('|') + text);
            return questionAnswers.isEmpty() ? QMessageBox::Cancel : questionAnswers.takeFirst();
        });
        DialogPrompts::setInformation([this](QWidget *, const QString &title, const QString &text) {
            informations.append(title + QLatin1Char('|') + text);
        });
        DialogPrompts::setOpenUrl([this](const QUrl &url) {
            openedUrls.append(url.toString());
            return urlOpens;
        });
    }
    ~PromptScope() { DialogPrompts::reset(); }
    PromptScope(const PromptScope &) = delete;
    PromptScope &operator=(const PromptScope &) = delete;
};

} // namespace pv::test
