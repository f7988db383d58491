#include "ui/dialogs/DuplicateCardDialog.h"

#include "collection/EntryKeys.h"
#include "core/Errata.h"
#include "core/NameTranslator.h"
#include "core/Pricing.h"
#include "ui_DuplicateCardDialog.h"

#include <QPushButton>

namespace pv {

namespace {

// Selects the row whose data equals value, else row 0.
void selectData(QComboBox *combo, const QVariant &value)
{
    const int row = combo->findData(value);
    combo->setCurrentIndex(row >= 0 ? row : 0);
}

} // namespace

DuplicateCardDialog::DuplicateCardDialog(const CardEntry &source, QSet<QString> lineKeys, QWidget *parent)
    : QDialog(parent)
    , m_ui(std::make_unique<Ui::DuplicateCardDialog>())
    , m_source(source)
    , m_lineKeys(std::move(lineKeys))
{
    m_ui->setupUi(this);
    m_ui->sourceLabel->setText(tr("New copy of %1 (%2), which is currently %3.")
                                   .arg(NameTranslator::displayName(source.lang, source.cardId, source.name),
                                        source.localId, entryPrintingLabel(source)));
    fillVariants();

    for (Condition condition : allConditions())
        m_ui->conditionCombo->addItem(conditionDisplayName(condition), int(condition));
    selectData(m_ui->conditionCombo, int(source.condition));
    for (int company = int(GradingCompany::None); company <= int(GradingCompany::Other); ++company)
        m_ui->gradingCombo->addItem(gradingCompanyDisplayName(GradingCompany(company)), company);
    selectData(m_ui->gradingCombo, int(source.gradeCompany));

    m_ui->gradeEdit->setText(source.gradeNote);
    m_ui->gradeEdit->setEnabled(source.gradeCompany != GradingCompany::None);
    m_ui->countSpin->setValue(1);
    m_ui->notesEdit->setText(source.notes);
    m_ui->buttonBox->button(QDialogButtonBox::Ok)->setText(tr("Duplicate"));

    for (QComboBox *combo : {m_ui->finishCombo, m_ui->editionCombo, m_ui->conditionCombo})
        connect(combo, &QComboBox::currentIndexChanged, this, &DuplicateCardDialog::validate);
    connect(m_ui->gradeEdit, &QLineEdit::textChanged, this, &DuplicateCardDialog::validate);
    connect(m_ui->gradingCombo, &QComboBox::currentIndexChanged, this, [this] {
        m_ui->gradeEdit->setEnabled(m_ui->gradingCombo->currentData().toInt() != int(GradingCompany::None));
        validate();
    });
    connect(m_ui->buttonBox, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(m_ui->buttonBox, &QDialogButtonBox::rejected, this, &QDialog::reject);
    validate();
}

DuplicateCardDialog::~DuplicateCardDialog() = default;

void DuplicateCardDialog::fillVariants()
{
    const Printings offered = Errata::printingsFor(m_source.lang, m_source.setId, m_source.cardId);
    QStringList finishes = offered.finishes;
    if (m_source.variant.isEmpty())
        finishes.prepend(QString());
    else if (!finishes.contains(m_source.variant))
        finishes.append(m_source.variant);
    QStringList editions = offered.editions;
    if (!m_source.edition.isEmpty() && !editions.contains(m_source.edition))
        editions.append(m_source.edition);

    for (const QString &finish : std::as_const(finishes))
        m_ui->finishCombo->addItem(finish.isEmpty() ? tr("Not stated") : finishDisplayName(finish), finish);
    for (const QString &edition : std::as_const(editions))
        m_ui->editionCombo->addItem(editionDisplayName(edition), edition);
    selectData(m_ui->finishCombo, m_source.variant);
    selectData(m_ui->editionCombo, m_source.edition);
    m_ui->editionCombo->setEnabled(m_ui->editionCombo->count() >= 2);
}

CardEntry DuplicateCardDialog::entry() const
{
    CardEntry copy = m_source;
    copy.variant = m_ui->finishCombo->currentData().toString();
    copy.edition = m_ui->editionCombo->currentData().toString();
    copy.condition = Condition(m_ui->conditionCombo->currentData().toInt());
    copy.gradeCompany = GradingCompany(m_ui->gradingCombo->currentData().toInt());
    copy.gradeNote = copy.gradeCompany == GradingCompany::None ? QString() : m_ui->gradeEdit->text().trimmed();
    copy.count = m_ui->countSpin->value();
    copy.notes = m_ui->notesEdit->text();
    copy.printLabel = false;

    if (printingKey(copy.variant, copy.edition) != printingKey(m_source.variant, m_source.edition)) {
        copy.customPriceEur = 0.0;
        copy.unitValueEur = 0.0;
        copy.unitValueUsd = 0.0;
        copy.priceUpdated = QDateTime();
        return copy;
    }
    // The unit values carry the source's grade multiplier; carry them over
    // to the copy's grade.
    const double before = Pricing::gradeMultiplier(m_source.gradeCompany, m_source.gradeNote);
    const double after = Pricing::gradeMultiplier(copy.gradeCompany, copy.gradeNote);
    if (before > 0 && after != before) {
        copy.unitValueEur = m_source.unitValueEur * after / before;
        copy.unitValueUsd = m_source.unitValueUsd * after / before;
    }
    return copy;
}

void DuplicateCardDialog::validate()
{
    const QString key = entryKey(entry());
    QString message;
    if (key == entryKey(m_source))
        message = tr("Change the condition, the grade or the printing: identical copies are one line with a count.");
    else if (m_lineKeys.contains(key))
        message = tr("The collection already holds a line for this printing and condition.");
    m_ui->messageLabel->setText(message);
    m_ui->buttonBox->button(QDialogButtonBox::Ok)->setEnabled(message.isEmpty());
}

} // namespace pv
