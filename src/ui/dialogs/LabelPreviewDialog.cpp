#include "ui/dialogs/LabelPreviewDialog.h"

#include "core/AppSettings.h"
#include "ui/dialogs/DialogPrompts.h"
#include "ui/widgets/ColorButton.h"
#include "ui/widgets/WheelGuard.h"
#include "ui_LabelPreviewDialog.h"

#include <QDir>
#include <QFileInfo>
#include <QGraphicsView>
#include <QPrintPreviewWidget>
#include <QPushButton>
#include <QSaveFile>
#include <QTemporaryFile>

#include <algorithm>

namespace pv {

namespace {

const QString unitsKey = QStringLiteral("labels/units");
constexpr double mmPerInch = 25.4;
constexpr int minZoom = 25;
constexpr int maxZoom = 800;
constexpr int zoomStep = 25;
// The preview holds at most this many sheets however many labels there are.
constexpr int previewSheets = 20;

// The border widths and lengths the label painter accepts, in inches.
constexpr double minBorderIn = 0.004;
constexpr double maxBorderIn = 0.06;
constexpr double minLengthIn = 0.1;
constexpr double maxLengthIn = 11.0;

void setBlocked(QDoubleSpinBox *spin, double value)
{
    const QSignalBlocker blocker(spin);
    spin->setValue(value);
}

// Paints every record into a PDF beside the target and puts it in the
// target's place only once it is complete, so a failed export leaves an
// existing file as it was.
bool writeLabelPdf(const QString &path, const QList<LabelRecord> &records, const LabelStyle &style)
{
    QTemporaryFile painted(QFileInfo(path).absolutePath() + QStringLiteral("/.labels-XXXXXX.pdf"));
    if (!painted.open())
        return false;
    painted.close();
    {
        QPrinter printer(QPrinter::HighResolution);
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(painted.fileName());
        configurePrinterForLabels(printer, style.geometry);
        if (!paintLabelSheet(printer, records, style, false))
            return false;
    }
    QFile source(painted.fileName());
    QSaveFile target(path);
    if (!source.open(QIODevice::ReadOnly) || !target.open(QIODevice::WriteOnly))
        return false;
    const QByteArray bytes = source.readAll();
    return !bytes.isEmpty() && target.write(bytes) == bytes.size() && target.commit();
}

} // namespace

LabelPreviewDialog::LabelPreviewDialog(const QList<LabelRecord> &records,
                                       const std::optional<LabelStyle> &documentStyle, QWidget *parent)
    : QDialog(parent)
    , m_records(records)
    , m_style(documentStyle ? *documentStyle : LabelStyle::fromSettings())
    , m_documentDefault(documentStyle)
    , m_custom(m_style.sheetTemplate == LabelStyle::Custom ? m_style.geometry : LabelStyle::readCustomGeometry())
    , m_ui(std::make_unique<Ui::LabelPreviewDialog>())
{
    configurePrinterForLabels(m_printer, m_style.geometry);
    m_ui->setupUi(this);
    WheelGuard::install(m_ui->settingsPanel);

    m_preview = new QPrintPreviewWidget(&m_printer, this);
    m_preview->setObjectName(QStringLiteral("preview"));
    m_preview->setZoomMode(QPrintPreviewWidget::FitInView);
    m_ui->previewLayout->addWidget(m_preview);
    if (auto *view = m_preview->findChild<QGraphicsView *>()) {
        view->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
        view->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
        view->setDragMode(QGraphicsView::ScrollHandDrag);
    }
    connect(m_preview, &QPrintPreviewWidget::paintRequested, this, &LabelPreviewDialog::paintPreview);
    connect(m_preview, &QPrintPreviewWidget::previewChanged, this, &LabelPreviewDialog::updateSheetLabel);

    m_previewTimer.setSingleShot(true);
    m_previewTimer.setInterval(120);
    connect(&m_previewTimer, &QTimer::timeout, this, [this] {
        configurePrinterForLabels(m_printer, m_style.geometry);
        m_preview->updatePreview();
    });

    m_defaultButton = m_ui->buttonBox->addButton(tr("Set As &Default"), QDialogButtonBox::ActionRole);
    m_defaultButton->setObjectName(QStringLiteral("defaultButton"));
    m_defaultButton->setToolTip(
        tr("Record these settings in the collection file, so this document always prints its labels this way."));
    m_printButton = m_ui->buttonBox->addButton(tr("&Print..."), QDialogButtonBox::ActionRole);
    m_printButton->setObjectName(QStringLiteral("printButton"));
    m_exportButton = m_ui->buttonBox->addButton(tr("Export &PDF..."), QDialogButtonBox::ActionRole);
    m_exportButton->setObjectName(QStringLiteral("exportButton"));
    for (QAbstractButton *button : m_ui->buttonBox->buttons()) {
        if (auto *push = qobject_cast<QPushButton *>(button)) {
            push->setAutoDefault(false);
            push->setDefault(false);
        }
    }
    connect(m_defaultButton, &QPushButton::clicked, this, &LabelPreviewDialog::requestDefault);
    connect(m_printButton, &QPushButton::clicked, this, &LabelPreviewDialog::print);
    connect(m_exportButton, &QPushButton::clicked, this, &LabelPreviewDialog::exportPdf);
    connect(m_ui->buttonBox, &QDialogButtonBox::rejected, this, &QDialog::reject);

    buildPreviewToolbar();
    buildSettingsPanel();

    updateSummary();
    updateWarnings();
    updateDefaultButton();
    updateSheetLabel();
}

LabelPreviewDialog::~LabelPreviewDialog()
{
    // The preview paints on the printer member, which goes before the
    // dialog's children do.
    delete m_preview;
}

void LabelPreviewDialog::buildSettingsPanel()
{
    Ui::LabelPreviewDialog &ui = *m_ui;
    QFont note = ui.pitchNote->font();
    note.setPointSizeF(note.pointSizeF() * 0.9);
    ui.pitchNote->setFont(note);

    ui.templateCombo->addItem(tr("Avery 8195"), QStringLiteral("avery8195"));
    ui.templateCombo->addItem(tr("Custom"), QStringLiteral("custom"));
    ui.pageSizeCombo->addItem(tr("Letter (8.5 x 11 in)"), int(LabelSheetGeometry::Letter));
    ui.pageSizeCombo->addItem(tr("A4 (210 x 297 mm)"), int(LabelSheetGeometry::A4));
    ui.unitsCombo->addItem(tr("Millimetres"), QStringLiteral("mm"));
    ui.unitsCombo->addItem(tr("Inches"), QStringLiteral("inch"));
    ui.columnsSpin->setRange(1, 20);
    ui.rowsSpin->setRange(1, 60);
    ui.textSizeSpin->setDecimals(1);
    ui.textSizeSpin->setRange(3.0, 16.0);
    ui.textSizeSpin->setSingleStep(0.5);
    ui.textSizeSpin->setSuffix(tr(" pt"));

    const bool custom = m_style.sheetTemplate == LabelStyle::Custom;
    ui.templateCombo->setCurrentIndex(custom ? 1 : 0);
    ui.pageSizeCombo->setCurrentIndex(m_custom.pageSize == LabelSheetGeometry::A4 ? 1 : 0);
    const QString units = AppSettings().value(unitsKey, QStringLiteral("mm")).toString().trimmed();
    ui.unitsCombo->setCurrentIndex(units.compare(QLatin1String("mm"), Qt::CaseInsensitive) == 0 ? 0 : 1);
    ui.showSetCheck->setChecked(m_style.showSet);
    ui.showYearCheck->setChecked(m_style.showYear);
    ui.showCardNameCheck->setChecked(m_style.showCardName);
    ui.showNumberCheck->setChecked(m_style.showNumber);
    ui.showRarityCheck->setChecked(m_style.showRarity);
    ui.showConditionCheck->setChecked(m_style.showCondition);
    setBlocked(ui.textSizeSpin, m_style.textPointSize);
    m_shown.insert(ui.textSizeSpin, ui.textSizeSpin->value());
    ui.borderCheck->setChecked(m_style.borderEnabled);
    ui.borderColorButton->setColor(m_style.borderColor);
    loadControls();
    {
        const QSignalBlocker columns(ui.columnsSpin);
        const QSignalBlocker rows(ui.rowsSpin);
        ui.columnsSpin->setValue(m_custom.columns);
        ui.rowsSpin->setValue(m_custom.rows);
    }
    ui.layoutBox->setEnabled(custom);
    ui.pageSizeCombo->setEnabled(custom);
    ui.borderColorButton->setEnabled(m_style.borderEnabled);
    ui.borderWidthSpin->setEnabled(m_style.borderEnabled);

    connect(ui.templateCombo, &QComboBox::currentIndexChanged, this, [this](int index) {
        m_ui->layoutBox->setEnabled(index == 1);
        m_ui->pageSizeCombo->setEnabled(index == 1);
        readControls();
    });
    connect(ui.unitsCombo, &QComboBox::currentIndexChanged, this, [this] {
        AppSettings().setValue(unitsKey, m_ui->unitsCombo->currentData().toString());
        loadControls();
    });
    const auto read = [this] { readControls(); };
    connect(ui.pageSizeCombo, &QComboBox::currentIndexChanged, this, read);
    for (QSpinBox *spin : {ui.columnsSpin, ui.rowsSpin})
        connect(spin, &QSpinBox::valueChanged, this, read);
    for (QDoubleSpinBox *spin : {ui.labelWidthSpin, ui.labelHeightSpin, ui.marginLeftSpin, ui.marginTopSpin,
                                 ui.pitchXSpin, ui.pitchYSpin, ui.borderWidthSpin, ui.textSizeSpin})
        connect(spin, &QDoubleSpinBox::valueChanged, this, read);
    for (QCheckBox *check : {ui.showSetCheck, ui.showYearCheck, ui.showCardNameCheck, ui.showNumberCheck,
                             ui.showRarityCheck, ui.showConditionCheck})
        connect(check, &QCheckBox::toggled, this, read);
    connect(ui.borderColorButton, &ColorButton::colorChanged, this, read);
    connect(ui.borderCheck, &QCheckBox::toggled, this, [this](bool on) {
        m_ui->borderColorButton->setEnabled(on);
        m_ui->borderWidthSpin->setEnabled(on);
        readControls();
    });
}

void LabelPreviewDialog::buildPreviewToolbar()
{
    Ui::LabelPreviewDialog &ui = *m_ui;
    connect(ui.zoomSlider, &QSlider::valueChanged, this, &LabelPreviewDialog::setZoomPercent);
    connect(ui.zoomSpin, &QSpinBox::valueChanged, this, &LabelPreviewDialog::setZoomPercent);
    connect(ui.zoomInButton, &QToolButton::clicked, this,
            [this] { setZoomPercent(m_ui->zoomSpin->value() + zoomStep); });
    connect(ui.zoomOutButton, &QToolButton::clicked, this,
            [this] { setZoomPercent(m_ui->zoomSpin->value() - zoomStep); });
    connect(ui.fitPageButton, &QToolButton::clicked, this, [this] {
        m_preview->fitInView();
        updateSheetLabel();
    });
    connect(ui.fitWidthButton, &QToolButton::clicked, this, [this] {
        m_preview->fitToWidth();
        updateSheetLabel();
    });
    connect(ui.previousSheetButton, &QToolButton::clicked, this,
            [this] { goToSheet(m_preview->currentPage() - 1); });
    connect(ui.nextSheetButton, &QToolButton::clicked, this, [this] { goToSheet(m_preview->currentPage() + 1); });
}

bool LabelPreviewDialog::usesMillimetres() const
{
    return m_ui->unitsCombo->currentData().toString().compare(QLatin1String("mm"), Qt::CaseInsensitive) == 0;
}

void LabelPreviewDialog::showLength(QDoubleSpinBox *spin, double value)
{
    setBlocked(spin, usesMillimetres() ? value * mmPerInch : value);
    m_shown.insert(spin, spin->value());
}

// The exact value when the box still shows what it was filled with, else
// what the user typed, in inches.
double LabelPreviewDialog::readLength(QDoubleSpinBox *spin, double exact) const
{
    if (spin->value() == m_shown.value(spin))
        return exact;
    return usesMillimetres() ? spin->value() / mmPerInch : spin->value();
}

void LabelPreviewDialog::loadControls()
{
    Ui::LabelPreviewDialog &ui = *m_ui;
    const bool mm = usesMillimetres();
    const QList<QPair<QDoubleSpinBox *, double>> lengths = {
        {ui.labelWidthSpin, m_custom.labelWidthIn}, {ui.labelHeightSpin, m_custom.labelHeightIn},
        {ui.marginLeftSpin, m_custom.marginLeftIn}, {ui.marginTopSpin, m_custom.marginTopIn},
        {ui.pitchXSpin, m_custom.pitchXIn},         {ui.pitchYSpin, m_custom.pitchYIn}};
    for (const auto &[spin, inches] : lengths) {
        const QSignalBlocker blocker(spin);
        spin->setSuffix(mm ? tr(" mm") : tr(" in"));
        spin->setDecimals(mm ? 2 : 3);
        spin->setRange(mm ? minLengthIn * mmPerInch : minLengthIn, mm ? maxLengthIn * mmPerInch : maxLengthIn);
        spin->setSingleStep(mm ? 0.5 : 0.01);
        showLength(spin, inches);
    }
    QDoubleSpinBox *thickness = ui.borderWidthSpin;
    const QSignalBlocker blocker(thickness);
    thickness->setSuffix(mm ? tr(" mm") : tr(" in"));
    thickness->setDecimals(mm ? 2 : 3);
    thickness->setRange(mm ? minBorderIn * mmPerInch : minBorderIn, mm ? maxBorderIn * mmPerInch : maxBorderIn);
    thickness->setSingleStep(mm ? 0.1 : 0.004);
    showLength(thickness, m_style.borderWidthIn);
}

void LabelPreviewDialog::readControls()
{
    Ui::LabelPreviewDialog &ui = *m_ui;
    m_custom.pageSize = LabelSheetGeometry::PageSize(ui.pageSizeCombo->currentData().toInt());
    m_custom.columns = ui.columnsSpin->value();
    m_custom.rows = ui.rowsSpin->value();
    const auto length = [this](QDoubleSpinBox *spin, double exact) {
        return std::clamp(readLength(spin, exact), minLengthIn, maxLengthIn);
    };
    m_custom.labelWidthIn = length(ui.labelWidthSpin, m_custom.labelWidthIn);
    m_custom.labelHeightIn = length(ui.labelHeightSpin, m_custom.labelHeightIn);
    m_custom.marginLeftIn = length(ui.marginLeftSpin, m_custom.marginLeftIn);
    m_custom.marginTopIn = length(ui.marginTopSpin, m_custom.marginTopIn);
    m_custom.pitchXIn = length(ui.pitchXSpin, m_custom.pitchXIn);
    m_custom.pitchYIn = length(ui.pitchYSpin, m_custom.pitchYIn);

    const bool custom = ui.templateCombo->currentIndex() == 1;
    m_style.sheetTemplate = custom ? LabelStyle::Custom : LabelStyle::Avery8195;
    m_style.geometry = custom ? m_custom : defaultLabelSheetGeometry();

    m_style.showSet = ui.showSetCheck->isChecked();
    m_style.showYear = ui.showYearCheck->isChecked();
    m_style.showCardName = ui.showCardNameCheck->isChecked();
    m_style.showNumber = ui.showNumberCheck->isChecked();
    m_style.showRarity = ui.showRarityCheck->isChecked();
    m_style.showCondition = ui.showConditionCheck->isChecked();
    m_style.borderEnabled = ui.borderCheck->isChecked();
    m_style.borderColor = ui.borderColorButton->color();
    m_style.borderWidthIn = std::clamp(readLength(ui.borderWidthSpin, m_style.borderWidthIn), minBorderIn, maxBorderIn);
    if (ui.textSizeSpin->value() != m_shown.value(ui.textSizeSpin))
        m_style.textPointSize = ui.textSizeSpin->value();

    for (QDoubleSpinBox *spin : {ui.labelWidthSpin, ui.labelHeightSpin, ui.marginLeftSpin, ui.marginTopSpin,
                                 ui.pitchXSpin, ui.pitchYSpin, ui.borderWidthSpin, ui.textSizeSpin})
        m_shown.insert(spin, spin->value());

    LabelStyle::toSettings(m_style, m_custom);
    updateSummary();
    updateWarnings();
    updateDefaultButton();
    m_previewTimer.start();
}

void LabelPreviewDialog::updateSummary()
{
    const int count = int(m_records.size());
    const int sheets = labelPageCount(count, m_style.geometry);
    const QString sheet = m_style.sheetTemplate == LabelStyle::Custom ? tr("custom sheet") : tr("Avery 8195");
    QString text = tr("%n label(s) on %1 sheet(s) - %2", nullptr, count).arg(sheets).arg(sheet);
    if (sheets > previewSheets)
        text += tr(" (previewing the first %1)").arg(previewSheets);
    m_ui->summaryLabel->setText(text);
}

void LabelPreviewDialog::updateWarnings()
{
    const QString text = validateLabelStyle(m_style.geometry);
    m_ui->warningsLabel->setText(text);
    m_ui->warningsLabel->setVisible(!text.isEmpty());
}

void LabelPreviewDialog::updateDefaultButton()
{
    const bool saved = m_documentDefault && labelStyleEquals(*m_documentDefault, m_style);
    m_defaultButton->setEnabled(!saved);
    m_defaultButton->setText(saved ? tr("Saved As &Default") : tr("Set As &Default"));
}

void LabelPreviewDialog::requestDefault()
{
    m_documentDefault = m_style;
    Q_EMIT documentDefaultRequested(m_style);
    updateDefaultButton();
}

void LabelPreviewDialog::paintPreview(QPrinter *printer)
{
    const qint64 limit = qint64(m_style.geometry.columns) * m_style.geometry.rows * previewSheets;
    if (limit > 0 && m_records.size() > limit)
        paintLabelSheet(*printer, m_records.mid(0, limit), m_style, true);
    else
        paintLabelSheet(*printer, m_records, m_style, true);
}

void LabelPreviewDialog::print()
{
    QPrinter printer(QPrinter::HighResolution);
    configurePrinterForLabels(printer, m_style.geometry);
    if (!DialogPrompts::printDialog(printer, this, tr("Print Labels")))
        return;
    configurePrinterForLabels(printer, m_style.geometry);
    if (!paintLabelSheet(printer, m_records, m_style, false))
        DialogPrompts::warning(this, tr("Print Labels"), tr("The labels could not be printed."));
}

void LabelPreviewDialog::exportPdf()
{
    const QString path = DialogPrompts::saveFileName(this, tr("Export Labels as PDF"), QStringLiteral("labels.pdf"),
                                                     tr("PDF files (*.pdf)"));
    if (path.isEmpty())
        return;
    if (!writeLabelPdf(path, m_records, m_style))
        DialogPrompts::warning(this, tr("Export Labels"), tr("Could not write %1.").arg(QDir::toNativeSeparators(path)));
}

void LabelPreviewDialog::setZoomPercent(int percent)
{
    percent = std::clamp(percent, minZoom, maxZoom);
    m_preview->setZoomMode(QPrintPreviewWidget::CustomZoom);
    m_preview->setZoomFactor(percent / 100.0);
    updateSheetLabel();
}

void LabelPreviewDialog::goToSheet(int sheet)
{
    if (m_preview->pageCount() >= 1)
        m_preview->setCurrentPage(std::clamp(sheet, 1, m_preview->pageCount()));
    updateSheetLabel();
}

void LabelPreviewDialog::updateSheetLabel()
{
    const int percent = std::clamp(qRound(m_preview->zoomFactor() * 100), minZoom, maxZoom);
    {
        const QSignalBlocker slider(m_ui->zoomSlider);
        const QSignalBlocker spin(m_ui->zoomSpin);
        m_ui->zoomSlider->setValue(percent);
        m_ui->zoomSpin->setValue(percent);
    }
    const int pages = m_preview->pageCount();
    const int current = m_preview->currentPage();
    m_ui->sheetLabel->setText(pages < 1 ? tr("No sheets") : tr("Sheet %1 of %2").arg(current).arg(pages));
    m_ui->previousSheetButton->setEnabled(current >= 2);
    m_ui->nextSheetButton->setEnabled(current < pages);
}

} // namespace pv
