#pragma once

#include <QMessageBox>
#include <QString>

#include <functional>

class QDialog;
class QPrinter;
class QUrl;
class QWidget;

namespace pv {

// The system dialogs and message boxes the dialogs and the main window open,
// in one place so a test can answer them without a person at the screen. Each
// answer can be replaced with a set... function; reset() brings back the real
// dialogs. Code under test calls the static functions instead of QFileDialog
// and QMessageBox. GUI thread only.
class DialogPrompts
{
public:
    using SaveFileName = std::function<QString(QWidget *parent, const QString &caption, const QString &suggestion,
                                               const QString &filter)>;
    using ExistingDirectory = std::function<QString(QWidget *parent, const QString &caption, const QString &start)>;
    using Warning = std::function<void(QWidget *parent, const QString &title, const QString &text)>;
    using PrintDialog = std::function<bool(QPrinter &printer, QWidget *parent, const QString &title)>;
    using ExecDialog = std::function<int(QDialog &dialog)>;
    using OpenFileName = std::function<QString(QWidget *parent, const QString &caption, const QString &start,
                                               const QString &filter)>;
    using Question = std::function<QMessageBox::StandardButton(
        QWidget *parent, const QString &title, const QString &text, QMessageBox::StandardButtons buttons,
        QMessageBox::StandardButton defaultButton)>;
    using Information = std::function<void(QWidget *parent, const QString &title, const QString &text)>;
    using OpenUrl = std::function<bool(const QUrl &url)>;

    static QString saveFileName(QWidget *parent, const QString &caption, const QString &suggestion,
                                const QString &filter);
    static QString existingDirectory(QWidget *parent, const QString &caption, const QString &start);
    // A warning box with only OK.
    static void warning(QWidget *parent, const QString &title, const QString &text);
    // True when the user accepted the print dialog.
    static bool printDialog(QPrinter &printer, QWidget *parent, const QString &title);
    // Runs a dialog modally and returns its result.
    static int exec(QDialog &dialog);
    static QString openFileName(QWidget *parent, const QString &caption, const QString &start,
                                const QString &filter);
    // A question box; returns the button chosen (Cancel or No when the box is
    // closed without choosing).
    static QMessageBox::StandardButton question(QWidget *parent, const QString &title, const QString &text,
                                                QMessageBox::StandardButtons buttons,
                                                QMessageBox::StandardButton defaultButton);
    // An information box with only OK.
    static void information(QWidget *parent, const QString &title, const QString &text);
    // The rich-text About box; a replaced answer receives it as an information box.
    static void about(QWidget *parent, const QString &title, const QString &text);
    // Opens a file, folder or web page with the desktop's default application.
    static bool openUrl(const QUrl &url);

    static void setSaveFileName(SaveFileName answer);
    static void setExistingDirectory(ExistingDirectory answer);
    static void setWarning(Warning answer);
    static void setPrintDialog(PrintDialog answer);
    static void setExec(ExecDialog answer);
    static void setOpenFileName(OpenFileName answer);
    static void setQuestion(Question answer);
    static void setInformation(Information answer);
    static void setOpenUrl(OpenUrl answer);
    static void reset();
};

} // namespace pv
