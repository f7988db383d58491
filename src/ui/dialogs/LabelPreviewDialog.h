#pragma once

#include "collection/LabelSheet.h"
#include "collection/LabelStyle.h"

#include <QDialog>
#include <QHash>
#include <QList>
#include <QPrinter>
#include <QTimer>

#include <memory>
#include <optional>

class QDoubleSpinBox;
class QPrintPreviewWidget;
class QPushButton;

namespace Ui {
class LabelPreviewDialog;
}

namespace pv {

// Prints the labels of the cards on the label sheet: a preview of the sheets
// beside the sheet and label settings, printing and PDF export. Every change
// of a setting is stored in the settings at once; "Set As Default" asks the
// caller to record the settings in the collection.
class LabelPreviewDialog : public QDialog
{
    Q_OBJECT
public:
    LabelPreviewDialog(const QList<LabelRecord> &records, const std::optional<LabelStyle> &documentStyle,
                       QWidget *parent = nullptr);
    ~LabelPreviewDialog() override;

    // The style the controls describe now.
    const LabelStyle &style() const { return m_style; }

Q_SIGNALS:
    void documentDefaultRequested(const pv::LabelStyle &style);

private:
    void buildSettingsPanel();
    void buildPreviewToolbar();
    void loadControls();
    void readControls();
    void updateSummary();
    void updateWarnings();
    void updateDefaultButton();
    void requestDefault();
    void paintPreview(QPrinter *printer);
    void print();
    void exportPdf();
    void setZoomPercent(int percent);
    void goToSheet(int sheet);
    void updateSheetLabel();
    bool usesMillimetres() const;
    void showLength(QDoubleSpinBox *spin, double value);
    double readLength(QDoubleSpinBox *spin, double exact) const;

    QList<LabelRecord> m_records;
    LabelStyle m_style;
    std::optional<LabelStyle> m_documentDefault;
    LabelSheetGeometry m_custom;
    QPrinter m_printer{QPrinter::HighResolution};
    QPrintPreviewWidget *m_preview = nullptr;
    QTimer m_previewTimer;
    std::unique_ptr<Ui::LabelPreviewDialog> m_ui;
    QPushButton *m_defaultButton = nullptr;
    QPushButton *m_printButton = nullptr;
    QPushButton *m_exportButton = nullptr;
    // What each length box showed when it was last filled or read: a box
    // still showing it was not touched, and its exact value is kept rather
    // than the rounded one on screen.
    QHash<const QDoubleSpinBox *, double> m_shown;
};

} // namespace pv
