#pragma once

#include <QString>

#include <functional>

class QDialog;
class QPrinter;
class QWidget;

namespace pv {

// The system dialogs and message boxes the dialogs of this folder open, in one
// place so a test can answer them without a person at the screen. Each answer
// can be replaced; reset() brings back the real dialogs. GUI thread only.
class DialogPrompts
{
public:
    using SaveFileName = std::function<QString(QWidget *parent, const QString &caption, const QString &suggestion,
                                               const QString &filter)>;
    using ExistingDirectory = std::function<QString(QWidget *parent, const QString &caption, const QString &start)>;
    using Warning = std::function<void(QWidget *parent, const QString &title, const QString &text)>;
    using PrintDialog = std::function<bool(QPrinter &printer, QWidget *parent, const QString &title)>;
    using ExecDialog = std::function<int(QDialog &dialog)>;

    static QString saveFileName(QWidget *parent, const QString &caption, const QString &suggestion,
                                const QString &filter);
    static QString existingDirectory(QWidget *parent, const QString &caption, const QString &start);
    // A warning box with only OK.
    static void warning(QWidget *parent, const QString &title, const QString &text);
    // True when the user accepted the print dialog.
    static bool printDialog(QPrinter &printer, QWidget *parent, const QString &title);
    // Runs a dialog modally and returns its result.
    static int exec(QDialog &dialog);

    static void setSaveFileName(SaveFileName answer);
    static void setExistingDirectory(ExistingDirectory answer);
    static void setWarning(Warning answer);
    static void setPrintDialog(PrintDialog answer);
    static void setExec(ExecDialog answer);
    static void reset();
};

} // namespace pv
