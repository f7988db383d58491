#include "ui/dialogs/CustomPriceDialog.h"

#include "collection/EntryKeys.h"
#include "core/Currency.h"
#include "ui/WebLookups.h"
#include "ui_CustomPriceDialog.h"

#include <QDesktopServices>
#include <QPushButton>

#include <algorithm>
#include <cmath>

namespace pv {

namespace {
// The largest price the field takes, in euros and in display units alike: a
// currency worth far less than the euro still reaches a large euro price.
constexpr double kMaximumPrice = 999999.0;
} // namespace

CustomPriceDialog::CustomPriceDialog(const CardEntry &entry, QWidget *parent)
    : QDialog(parent)
    , m_ui(std::make_unique<Ui::CustomPriceDialog>())
    , m_entry(entry)
{
    m_ui->setupUi(this);
    // Wide enough for the three buttons of the button box side by side.
    setMinimumWidth(480);
    m_ui->entryLabel->setText(tr("%1 (%2)").arg(entry.name, entryPrintingLabel(entry)));

    const double current = entry.customPriceEur > 0 ? Currency::fromEur(entry.customPriceEur) : 0.0;
    const double maximum = std::max({kMaximumPrice, std::ceil(Currency::fromEur(kMaximumPrice)), std::ceil(current)});
    m_ui->priceSpin->setRange(0.0, maximum);
    m_ui->priceSpin->setDecimals(2);
    m_ui->priceSpin->setSuffix(QStringLiteral(" ") + Currency::currentCode());
    m_ui->priceSpin->setValue(current);
    m_openingValue = m_ui->priceSpin->value();

    m_ui->lookupButton->setText(tr("Look Up on %1").arg(WebLookups::priceTrackerName()));
    connect(m_ui->lookupButton, &QPushButton::clicked, this, &CustomPriceDialog::openLookup);

    m_clearButton = m_ui->buttonBox->addButton(tr("Clear Custom Price"), QDialogButtonBox::ResetRole);
    m_clearButton->setObjectName(QStringLiteral("clearButton"));
    m_clearButton->setEnabled(entry.customPriceEur > 0);
    connect(m_clearButton, &QPushButton::clicked, this, &CustomPriceDialog::clearPrice);
    connect(m_ui->buttonBox, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(m_ui->buttonBox, &QDialogButtonBox::rejected, this, &QDialog::reject);
}

CustomPriceDialog::~CustomPriceDialog() = default;

double CustomPriceDialog::price() const
{
    const double value = m_ui->priceSpin->value();
    if (value <= 0)
        return 0.0;
    if (value == m_openingValue)
        return std::max(0.0, m_entry.customPriceEur);
    return Currency::toEur(value);
}

void CustomPriceDialog::clearPrice()
{
    m_ui->priceSpin->setValue(0.0);
}

void CustomPriceDialog::openLookup()
{
    QDesktopServices::openUrl(WebLookups::priceTrackerSearch(m_entry.name));
}

} // namespace pv
