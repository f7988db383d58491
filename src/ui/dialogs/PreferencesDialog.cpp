#include "ui/dialogs/PreferencesDialog.h"

#include "catalog/ImageCache.h"
#include "core/Currency.h"
#include "core/NameTranslator.h"
#include "core/PriceBasis.h"
#include "core/PriceSource.h"
#include "ui/ThemeManager.h"
#include "ui/dialogs/DialogPrompts.h"
#include "ui/widgets/WheelGuard.h"
#include "ui_PreferencesDialog.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QPushButton>

#include <algorithm>

namespace pv {

namespace {

// Selects the row whose data is the value, with the combo's signals blocked
// when asked; a value the combo does not list leaves it as it is.
void selectData(QComboBox *combo, const QString &value, bool quietly = false)
{
    const int row = combo->findData(value);
    if (row < 0)
        return;
    const QSignalBlocker blocker(quietly ? combo : nullptr);
    combo->setCurrentIndex(row);
}

QString nativeFolder(const QString &path)
{
    return QDir::toNativeSeparators(path);
}

} // namespace

PreferencesDialog::PreferencesDialog(QWidget *parent)
    : QDialog(parent)
    , m_ui(std::make_unique<Ui::PreferencesDialog>())
{
    m_ui->setupUi(this);
    WheelGuard::install(this);

    for (const ThemeInfo &theme : ThemeManager::availableThemes()) {
        const QString text = theme.family.isEmpty() ? theme.name : tr("%1 (%2)").arg(theme.name, theme.family);
        m_ui->themeCombo->addItem(text, theme.id);
    }
    m_theme = ThemeManager::currentThemeName();
    m_shownTheme = m_theme;
    selectData(m_ui->themeCombo, m_theme, true);

    for (const Currency &currency : Currency::all())
        m_ui->currencyCombo->addItem(tr("%1 (%2)").arg(currency.name, currency.code), currency.code);
    selectData(m_ui->currencyCombo, Currency::currentCode());
    for (const PriceSource &source : PriceSource::all())
        m_ui->priceSourceCombo->addItem(source.label, source.key);
    setPriceSource(PriceSource::current());
    for (const PriceBasis &basis : PriceBasis::all())
        m_ui->priceBasisCombo->addItem(basis.label, basis.key);
    setPriceBasis(PriceBasis::current());

    m_ui->translateJapaneseCheck->setChecked(NameTranslator::isEnabled());
    if (!NameTranslator::isLoaded()) {
        m_ui->translateJapaneseCheck->setEnabled(false);
        m_ui->namesHint->setText(
            tr("No name table was found at %1, so Japanese names are shown as the API spells them.")
                .arg(nativeFolder(NameTranslator::tablePath())));
    }

    m_ui->folderHint->setText(
        tr("Downloaded card art is stored here. Leave the field empty to use the default location:\n%1")
            .arg(nativeFolder(ImageCache::defaultFolder())));

    // The captions share one width, so the fields beside them line up.
    const QList<QLabel *> captions = {m_ui->themeCaption, m_ui->currencyCaption, m_ui->priceSourceCaption,
                                      m_ui->priceBasisCaption, m_ui->folderCaption};
    int captionWidth = 0;
    for (const QLabel *caption : captions)
        captionWidth = std::max(captionWidth, caption->sizeHint().width());
    for (QLabel *caption : captions)
        caption->setMinimumWidth(captionWidth);
    fitHeight(height());

    connect(m_ui->themeCombo, &QComboBox::currentIndexChanged, this, [this] { m_previewTimer.start(); });
    connect(&m_previewTimer, &ClockTimer::timeout, this, &PreferencesDialog::previewTheme);
    connect(m_ui->browseButton, &QPushButton::clicked, this, &PreferencesDialog::browseFolder);
    connect(m_ui->buttonBox, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(m_ui->buttonBox, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(m_ui->buttonBox, &QDialogButtonBox::clicked, this, &PreferencesDialog::onButtonClicked);
    connect(this, &QDialog::rejected, this, [this] {
        m_previewTimer.stop();
        // Whatever was previewed, the application goes back to the theme the
        // dialog opened with, also when the combo was turned back to it
        // before its own preview had run.
        if (m_shownTheme != m_theme || themeId() != m_theme)
            revertPreview();
    });
    connect(this, &QDialog::accepted, this, [this] {
        m_previewTimer.stop();
        // The caller applies a theme other than the one in force; one turned
        // back to it while another was previewed is put back here.
        if (themeId() == m_theme && m_shownTheme != m_theme)
            revertPreview();
    });
}

PreferencesDialog::~PreferencesDialog() = default;

void PreferencesDialog::setTheme(const QString &id)
{
    m_theme = id;
    m_shownTheme = id;
    selectData(m_ui->themeCombo, id, true);
}

void PreferencesDialog::setTranslateJapanese(bool on)
{
    m_ui->translateJapaneseCheck->setChecked(on);
}

void PreferencesDialog::setCurrency(const QString &code)
{
    selectData(m_ui->currencyCombo, code);
}

void PreferencesDialog::setPriceSource(int id)
{
    selectData(m_ui->priceSourceCombo, PriceSource::byId(id).key);
}

void PreferencesDialog::setPriceBasis(int id)
{
    selectData(m_ui->priceBasisCombo, PriceBasis::byId(id).key);
}

void PreferencesDialog::setImageCacheFolder(const QString &path)
{
    m_ui->folderEdit->setText(nativeFolder(path));
}

QString PreferencesDialog::themeId() const
{
    return m_ui->themeCombo->currentData().toString();
}

bool PreferencesDialog::translateJapanese() const
{
    return m_ui->translateJapaneseCheck->isChecked();
}

QString PreferencesDialog::currency() const
{
    return m_ui->currencyCombo->currentData().toString();
}

int PreferencesDialog::priceSource() const
{
    return PriceSource::byKey(m_ui->priceSourceCombo->currentData().toString()).id;
}

int PreferencesDialog::priceBasis() const
{
    return PriceBasis::byKey(m_ui->priceBasisCombo->currentData().toString()).id;
}

QString PreferencesDialog::imageCacheFolder() const
{
    return m_ui->folderEdit->text().trimmed();
}

void PreferencesDialog::previewTheme()
{
    const QString id = themeId();
    if (id.isEmpty())
        return;
    ThemeManager::applyTheme(qApp, id);
    m_shownTheme = id;
}

void PreferencesDialog::revertPreview()
{
    m_previewTimer.stop();
    ThemeManager::applyTheme(qApp, m_theme);
    m_shownTheme = m_theme;
}

// Word-wrapped hints need more height than the layout's minimum admits;
// the dialog opens tall enough to show every line of them.
void PreferencesDialog::fitHeight(int atLeast)
{
    resize(width(), std::max(atLeast, heightForWidth(width())));
}

void PreferencesDialog::restoreDefaults()
{
    m_ui->folderEdit->clear();
    selectData(m_ui->currencyCombo, Currency::byId(0).code);
    setPriceSource(0);
    setPriceBasis(PriceBasis::defaultId());
    if (m_ui->translateJapaneseCheck->isEnabled())
        m_ui->translateJapaneseCheck->setChecked(true);
    selectData(m_ui->themeCombo, ThemeManager::defaultThemeName());
}

void PreferencesDialog::browseFolder()
{
    const QString typed = m_ui->folderEdit->text().trimmed();
    const QString start = !typed.isEmpty() && QFileInfo(typed).isDir() ? typed : ImageCache::currentFolder();
    const QString chosen = DialogPrompts::existingDirectory(this, tr("Choose image cache folder"), start);
    if (!chosen.isEmpty())
        m_ui->folderEdit->setText(nativeFolder(chosen));
}

void PreferencesDialog::onButtonClicked(QAbstractButton *button)
{
    if (m_ui->buttonBox->buttonRole(button) == QDialogButtonBox::ResetRole)
        restoreDefaults();
}

void PreferencesDialog::chooseImageCacheFolder(QWidget *parent)
{
    PreferencesDialog dialog(parent);
    dialog.setWindowTitle(tr("Tallowmerick - choose an image cache folder"));
    dialog.m_ui->appearanceBox->hide();
    dialog.m_ui->namesBox->hide();
    dialog.m_ui->pricingBox->hide();
    dialog.m_ui->folderEdit->clear();
    dialog.m_ui->folderHint->setText(
        tr("Tallowmerick keeps downloaded card art on disk so it is fetched only once. Choose where to keep it, "
           "or leave the field empty for the default location:\n%1")
            .arg(nativeFolder(ImageCache::defaultFolder())));
    // The form is sized for every box; the chooser shows one.
    dialog.fitHeight(0);

    const auto ended = [&dialog] {
        // Restore Defaults also picks the default theme, which the chooser
        // neither shows nor stores: its preview is taken back.
        if (dialog.m_shownTheme != dialog.m_theme || dialog.m_previewTimer.isActive())
            dialog.revertPreview();
    };
    while (DialogPrompts::exec(dialog) == QDialog::Accepted) {
        ended();
        const QString folder = dialog.imageCacheFolder();
        if (ImageCache::setFolder(folder))
            return;
        DialogPrompts::warning(&dialog, tr("Could not use that folder"),
                               tr("%1 could not be created. Choose another folder.").arg(nativeFolder(folder)));
    }
    ended();
    ImageCache::setFolder(QString());
}

} // namespace pv
