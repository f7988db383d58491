#include "ui/dialogs/NewBinderDialog.h"

#include "ui_NewBinderDialog.h"

#include "catalog/CardCatalog.h"
#include "catalog/DexIndex.h"
#include "collection/Binders.h"
#include "collection/Collection.h"
#include "core/NameTranslator.h"

#include <QPushButton>
#include <QSignalBlocker>

namespace pv {

namespace {

constexpr int PreviewDelayMs = 250;

// Selects the item with exactly that data, else the first item.
void selectData(QComboBox *combo, const QString &data)
{
    const int index = combo->findData(data, Qt::UserRole, Qt::MatchExactly | Qt::MatchCaseSensitive);
    combo->setCurrentIndex(index < 0 ? 0 : index);
}

// Re-selects the remembered data after a refill; the "Any" item otherwise.
void reselect(QComboBox *combo, const QVariant &remembered)
{
    const int index = combo->findData(remembered, Qt::UserRole, Qt::MatchExactly | Qt::MatchCaseSensitive);
    combo->setCurrentIndex(index < 0 ? 0 : index);
}

} // namespace

NewBinderDialog::NewBinderDialog(CardCatalog *catalog, DexIndex *dexIndex, Collection *collection, QWidget *parent)
    : QDialog(parent)
    , ui(new Ui::NewBinderDialog)
    , m_catalog(catalog)
    , m_dexIndex(dexIndex)
    , m_collection(collection)
    , m_templates(builtinBinderTemplates())
    , m_previewTimer(this)
{
    ui->setupUi(this);
    m_previewTimer.setSingleShot(true);
    m_previewTimer.setInterval(PreviewDelayMs);
    connect(&m_previewTimer, &QTimer::timeout, this, &NewBinderDialog::updatePreview);

    fillLanguages();
    fillTemplates();
    fillSeries();
    fillSets();
    fillRarities();

    connect(ui->templateCombo, qOverload<int>(&QComboBox::currentIndexChanged), this,
            &NewBinderDialog::applyTemplate);
    connect(ui->languageCombo, qOverload<int>(&QComboBox::currentIndexChanged), this, [this] {
        if (m_applying)
            return;
        if (m_catalog)
            m_catalog->ensureLoaded(currentLanguage());
        fillSeries();
        fillSets();
        fillRarities();
        restartPreview();
    });
    if (catalog) {
        connect(catalog, &CardCatalog::languageLoaded, this, [this](Language language) {
            if (language != currentLanguage())
                return;
            fillSeries();
            fillSets();
            restartPreview();
        });
        connect(catalog, &CardCatalog::raritiesLoaded, this, [this](Language language) {
            if (language == currentLanguage())
                fillRarities();
        });
    }
    if (dexIndex) {
        connect(dexIndex, &DexIndex::dexReady, this, &NewBinderDialog::onDexAnswer);
        connect(dexIndex, &DexIndex::dexFailed, this, [this](Language language, int dexId) {
            m_lookups.markFailed(language, dexId);
            onDexAnswer();
        });
    }
    connect(ui->serieCombo, qOverload<int>(&QComboBox::currentIndexChanged), this, [this] {
        if (m_applying)
            return;
        fillSets();
        criteriaEdited();
    });
    connect(ui->setCombo, qOverload<int>(&QComboBox::currentIndexChanged), this, &NewBinderDialog::criteriaEdited);
    connect(ui->namePatternEdit, &QLineEdit::textChanged, this, &NewBinderDialog::criteriaEdited);
    connect(ui->dexSpin, qOverload<int>(&QSpinBox::valueChanged), this, &NewBinderDialog::criteriaEdited);
    connect(ui->rarityList, &QListWidget::itemChanged, this, &NewBinderDialog::criteriaEdited);

    connect(ui->nameEdit, &QLineEdit::textChanged, this, &NewBinderDialog::updateOkButton);
    connect(ui->buttonBox, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(ui->buttonBox, &QDialogButtonBox::rejected, this, &QDialog::reject);

    applyTemplate();
}

NewBinderDialog::~NewBinderDialog()
{
    delete ui;
}

Language NewBinderDialog::currentLanguage() const
{
    return Language(ui->languageCombo->currentData().toInt());
}

int NewBinderDialog::currentTemplate() const
{
    return ui->templateCombo->currentData().toInt();
}

void NewBinderDialog::fillLanguages()
{
    const QSignalBlocker blocker(ui->languageCombo);
    for (const Language language : allLanguages())
        ui->languageCombo->addItem(languageDisplayName(language), int(language));
}

void NewBinderDialog::fillTemplates()
{
    const QSignalBlocker blocker(ui->templateCombo);
    ui->templateCombo->addItem(tr("Custom binder"), -1);
    for (int i = 0; i < m_templates.size(); ++i)
        ui->templateCombo->addItem(m_templates.at(i).name, i);
}

void NewBinderDialog::fillSeries()
{
    const QSignalBlocker blocker(ui->serieCombo);
    const QVariant remembered = ui->serieCombo->currentData();
    ui->serieCombo->clear();
    ui->serieCombo->addItem(tr("Any series"), QString());
    if (m_catalog) {
        const Language language = currentLanguage();
        for (const SerieBrief &serie : m_catalog->series(language))
            ui->serieCombo->addItem(NameTranslator::translateSerieName(language, serie.id, serie.name), serie.id);
    }
    reselect(ui->serieCombo, remembered);
}

void NewBinderDialog::fillSets()
{
    const QSignalBlocker blocker(ui->setCombo);
    const QVariant remembered = ui->setCombo->currentData();
    ui->setCombo->clear();
    ui->setCombo->addItem(tr("Any set"), QString());
    if (m_catalog) {
        const Language language = currentLanguage();
        const QString serieId = ui->serieCombo->currentData().toString();
        for (const CatalogSet &set : m_catalog->setsOfSeries(language, serieId))
            ui->setCombo->addItem(NameTranslator::translateSetName(language, set.id, set.name), set.id);
    }
    reselect(ui->setCombo, remembered);
}

void NewBinderDialog::fillRarities()
{
    const QSignalBlocker blocker(ui->rarityList);
    // Ticks survive a refill for every rarity that is still listed, and a
    // template's rarities are ticked once they have been collected.
    QStringList ticked;
    for (int i = 0; i < ui->rarityList->count(); ++i) {
        const QListWidgetItem *item = ui->rarityList->item(i);
        if (item->checkState() == Qt::Checked)
            ticked.append(item->data(Qt::UserRole).toString());
    }
    if (m_rulesAwaitForm && m_templateRules.size() == 1)
        ticked += m_templateRules.constFirst().rarities;
    ui->rarityList->clear();
    if (!m_catalog)
        return;
    const QStringList rarities = m_catalog->rarities(currentLanguage());
    if (rarities.isEmpty()) {
        ui->rarityCaption->setText(tr("Rarities\n(not collected yet)"));
        ui->rarityList->setEnabled(false);
    } else {
        ui->rarityCaption->setText(tr("Rarities"));
        ui->rarityList->setEnabled(true);
        for (const QString &rarity : rarities) {
            auto *item = new QListWidgetItem(rarity, ui->rarityList);
            item->setData(Qt::UserRole, rarity);
            item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
            item->setCheckState(ticked.contains(rarity) ? Qt::Checked : Qt::Unchecked);
        }
    }
    adoptFormWhenItHoldsTemplate();
    updateOkButton();
}

void NewBinderDialog::applyTemplate()
{
    const int i = currentTemplate();
    m_templateRules.clear();
    m_rulesAwaitForm = false;
    m_topValue = 0;
    if (i < 0 || i >= m_templates.size()) {
        ui->templateHint->hide();
        ui->criteriaPanel->setEnabled(true);
        updateOkButton();
        updatePreview();
        return;
    }

    m_applying = true;
    const Binder &t = m_templates.at(i);
    if (ui->nameEdit->text() != ui->templateCombo->currentText())
        ui->nameEdit->setText(t.name);
    if (t.topValue > 0) {
        m_topValue = t.topValue;
        ui->criteriaPanel->setEnabled(false);
        ui->templateHint->setText(tr("\"%1\" is built from the cards you own, ranked by value and ordered "
                                     "cheapest first, so it has no criteria to choose.")
                                      .arg(t.name));
        ui->templateHint->show();
    } else if (t.rules.size() != 1) {
        m_templateRules = t.rules;
        ui->criteriaPanel->setEnabled(false);
        ui->templateHint->setText(tr("\"%1\" is built from %n rule(s), which this panel cannot show. "
                                     "It will be created as the template defines it.",
                                     nullptr, int(t.rules.size()))
                                      .arg(t.name));
        ui->templateHint->show();
    } else {
        const BinderRule &r = t.rules.constFirst();
        ui->criteriaPanel->setEnabled(true);
        ui->templateHint->hide();
        selectData(ui->serieCombo, r.serieId);
        fillSets();
        selectData(ui->setCombo, r.setId);
        ui->namePatternEdit->setText(r.name);
        ui->dexSpin->setValue(r.dexIds.isEmpty() ? 0 : r.dexIds.constFirst());
        for (int row = 0; row < ui->rarityList->count(); ++row) {
            QListWidgetItem *item = ui->rarityList->item(row);
            const bool tick = r.rarities.contains(item->data(Qt::UserRole).toString());
            item->setCheckState(tick ? Qt::Checked : Qt::Unchecked);
        }
        if (r.dexIds.size() >= 2) {
            m_templateRules = t.rules;
            ui->criteriaPanel->setEnabled(false);
            ui->templateHint->setText(tr("\"%1\" covers %n species, which this panel cannot show. "
                                         "It will be created as the template defines it.",
                                         nullptr, int(r.dexIds.size()))
                                          .arg(t.name));
            ui->templateHint->show();
        } else if (formRule() != r) {
            // A rarity not collected yet, or a series or set the catalog
            // lacks: the form cannot hold the rule, so the template's own
            // rule is kept until the form can show it.
            m_templateRules = t.rules;
            m_rulesAwaitForm = true;
        }
    }
    m_applying = false;
    updateOkButton();
    updatePreview();
}

BinderRule NewBinderDialog::formRule() const
{
    BinderRule rule;
    rule.setId = ui->setCombo->currentData().toString();
    rule.serieId = ui->serieCombo->currentData().toString();
    rule.name = ui->namePatternEdit->text().trimmed();
    if (ui->dexSpin->value() >= 1)
        rule.dexIds = {ui->dexSpin->value()};
    for (int i = 0; i < ui->rarityList->count(); ++i) {
        const QListWidgetItem *item = ui->rarityList->item(i);
        if (item->checkState() == Qt::Checked)
            rule.rarities.append(item->data(Qt::UserRole).toString());
    }
    return rule;
}

QList<BinderRule> NewBinderDialog::rules() const
{
    if (m_topValue > 0)
        return {};
    if (!m_templateRules.isEmpty())
        return m_templateRules;
    const BinderRule rule = formRule();
    if (rule.isEmpty())
        return {};
    return {rule};
}

Binder NewBinderDialog::binder() const
{
    Binder b = newBinder(ui->nameEdit->text().trimmed(), currentLanguage());
    b.rules = rules();
    b.topValue = m_topValue;
    const int i = currentTemplate();
    if (i >= 0 && i < m_templates.size()) {
        b.columns = m_templates.at(i).columns;
        b.rows = m_templates.at(i).rows;
    }
    return b;
}

void NewBinderDialog::restartPreview()
{
    updateOkButton();
    m_previewTimer.start();
}

void NewBinderDialog::updateOkButton()
{
    // OK waits for a name and for something the binder would hold.
    const bool named = !ui->nameEdit->text().trimmed().isEmpty();
    ui->buttonBox->button(QDialogButtonBox::Ok)->setEnabled(named && (m_topValue > 0 || !rules().isEmpty()));
}

void NewBinderDialog::criteriaEdited()
{
    if (m_applying)
        return;
    if (m_rulesAwaitForm) {
        m_templateRules.clear();
        m_rulesAwaitForm = false;
    }
    restartPreview();
}

void NewBinderDialog::adoptFormWhenItHoldsTemplate()
{
    if (m_rulesAwaitForm && m_templateRules.size() == 1 && formRule() == m_templateRules.constFirst()) {
        m_templateRules.clear();
        m_rulesAwaitForm = false;
    }
}

void NewBinderDialog::onDexAnswer()
{
    if (!m_waitingForDex)
        return;
    m_waitingForDex = false;
    updatePreview();
}

void NewBinderDialog::updatePreview()
{
    const QList<BinderRule> binderRules = rules();
    if (binderRules.isEmpty() && m_topValue <= 0) {
        ui->previewLabel->setText(tr("Choose at least one criterion."));
        return;
    }
    if (!m_catalog || !m_dexIndex || !m_collection) {
        ui->previewLabel->clear();
        return;
    }
    const Binder b = binder();
    const BinderResolution contents = resolveBinder(b, m_catalog, m_dexIndex, m_collection);
    const QList<int> pending = m_lookups.request(m_dexIndex, b.lang, contents.pendingDexIds);
    if (!pending.isEmpty()) {
        ui->previewLabel->setText(tr("Looking up %n species...", nullptr, int(pending.size())));
        // One wait at a time, however often the preview runs meanwhile.
        m_waitingForDex = true;
        return;
    }
    const int n = int(contents.cards.size());
    if (m_topValue <= 0) {
        ui->previewLabel->setText(tr("Matches %n card(s)", nullptr, n) + tr(" - you own %1").arg(contents.ownedCount));
        return;
    }
    QString text = n < m_topValue
        ? tr("You own %n card(s) - fewer than the %1 this binder holds.", nullptr, n).arg(m_topValue)
        : tr("The %1 dearest cards you own, cheapest first.").arg(m_topValue);
    int priced = 0;
    for (const BinderCard &card : contents.cards) {
        if (card.value > 0)
            ++priced;
    }
    if (priced < n) {
        text += QLatin1Char('\n')
            + tr("%n of them have no price yet - refresh prices for the ranking to mean something.", nullptr,
                 n - priced);
    }
    ui->previewLabel->setText(text);
}

} // namespace pv
