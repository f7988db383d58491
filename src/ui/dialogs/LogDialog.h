#pragma once

#include "core/Log.h"

#include <QDialog>

#include <memory>

namespace Ui {
class LogDialog;
}

namespace pv {

// A live view of the in-memory log: coloured lines, filtered by a minimum
// level and a text, following new entries as they arrive; the lines shown can
// be copied or saved, and the log itself cleared.
class LogDialog : public QDialog
{
    Q_OBJECT
public:
    explicit LogDialog(QWidget *parent = nullptr);
    ~LogDialog() override;

    // The colour of a line of that level on a dark or a light background.
    static QString levelColor(int level, bool dark);

protected:
    void showEvent(QShowEvent *event) override;

private:
    void rebuild();
    void appendEntry(const LogEntry &entry);
    bool accepts(const LogEntry &entry) const;
    void onEntryAppended(const pv::LogEntry &entry);
    void updateStatus();
    void copyToClipboard();
    void save();

    std::unique_ptr<Ui::LogDialog> m_ui;
    int m_minimumLevel = 0;
    QString m_filter;
    int m_shown = 0;
};

} // namespace pv
