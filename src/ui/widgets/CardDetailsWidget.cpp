#include "ui/widgets/CardDetailsWidget.h"

#include "ui_CardDetailsWidget.h"

#include "catalog/CardCatalog.h"
#include "catalog/TcgdexClient.h"
#include "collection/Collection.h"
#include "collection/EntryKeys.h"
#include "collection/FallbackPrices.h"
#include "collection/PriceRefresh.h"
#include "core/Currency.h"
#include "core/Errata.h"
#include "core/FxRates.h"
#include "core/NameTranslator.h"
#include "core/Pricing.h"
#include "ui/widgets/WheelGuard.h"

#include <QEvent>
#include <QFormLayout>
#include <QGroupBox>
#include <QLocale>
#include <QSignalBlocker>
#include <QTextLayout>

#include <algorithm>

namespace pv {

namespace {

const QString noValue = QStringLiteral("-");
// The picture's least height beside the card's facts, and above them.
constexpr int ArtworkMinimumHeight = 88;
constexpr int NarrowArtworkHeight = 200;

// The text broken into at most maxLines lines of the width, at its own line
// breaks and anywhere when a word is too long for a line; what does not fit
// ends the last line in an ellipsis.
QString fittedText(const QString &fullText, const QFont &font, int width, int maxLines)
{
    if (width <= 0)
        return QString();
    // No glyph is narrower than a pixel: what lies past maxLines times the
    // width in characters can never show, and need not be laid out.
    QString text = fullText.left(qsizetype(maxLines) * width + 1);
    text.replace(QLatin1Char('\n'), QChar::LineSeparator);
    QTextLayout layout(text, font);
    QTextOption option;
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    layout.setTextOption(option);
    QStringList lines;
    layout.beginLayout();
    for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
        line.setLineWidth(width);
        if (int(lines.size()) == maxLines - 1) {
            const QFontMetrics metrics(font);
            lines.append(metrics.elidedText(text.mid(line.textStart()).simplified(), Qt::ElideRight, width));
            break;
        }
        lines.append(text.mid(line.textStart(), line.textLength()).trimmed());
    }
    layout.endLayout();
    return lines.join(QLatin1Char('\n'));
}

// The line's value, as the tree and the collection's total count it.
void showLineTotal(QLabel *label, const CardEntry &entry)
{
    const double value = entryLineValue(entry);
    label->setText(value > 0.0 ? Currency::formatFromEur(value) : noValue);
}

// Selects the item whose data equals the value; -1 when none does.
int selectData(QComboBox *combo, const QVariant &value)
{
    const int index = combo->findData(value);
    combo->setCurrentIndex(index);
    return index;
}

} // namespace

CardDetailsWidget::CardDetailsWidget(QWidget *parent)
    : QWidget(parent)
    , ui(new Ui::CardDetailsWidget)
{
    ui->setupUi(this);
    WheelGuard::install(ui->detailContents);
    // The editors never scroll: the picture above them gives up its room
    // first, so they stay whole and in one place whatever the card.
    ui->detailScrollArea->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    ui->detailScrollArea->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    ui->detailContents->installEventFilter(this);
    ui->copyColumnLayout->addStretch();
    fitEditors();

    setLogoLabel = new QLabel(ui->imageLabel);
    setLogoLabel->setObjectName(QStringLiteral("setLogoLabel"));
    setLogoLabel->setAttribute(Qt::WA_TransparentForMouseEvents);
    setLogoLabel->setStyleSheet(QStringLiteral("background: transparent; border: none;"));
    setLogoLabel->hide();
    ui->imageLabel->installEventFilter(this);
    for (const QGroupBox *box : {ui->cardBox, ui->valueBox}) {
        for (QLabel *label : box->findChildren<QLabel *>()) {
            if (label->wordWrap()) {
                m_wrappedLabels.append(label);
                label->installEventFilter(this);
            }
        }
    }
    // Beside a value that wraps, its caption stands at its first line (the
    // form centres it in a little more than its own height).
    for (const QFormLayout *form : {ui->cardForm, ui->valueForm}) {
        for (int row = 0; row < form->rowCount(); ++row) {
            const QLayoutItem *caption = form->itemAt(row, QFormLayout::LabelRole);
            if (auto *label = caption ? qobject_cast<QLabel *>(caption->widget()) : nullptr)
                label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
        }
    }
    // A long name never widens the panel: the title takes the width it is
    // given and shortens the name to fit, which its tool tip shows whole.
    ui->titleLabel->setSizePolicy(QSizePolicy::Ignored, ui->titleLabel->sizePolicy().verticalPolicy());
    ui->titleLabel->installEventFilter(this);
    ui->countSpin->setMaximum(MaxEntryCount);

    populating = true;
    for (const QString &finish : allFinishes())
        ui->finishCombo->addItem(finishDisplayName(finish), finish);
    for (const QString &edition : allEditions())
        ui->editionCombo->addItem(editionDisplayName(edition), edition);
    for (const Condition condition : allConditions())
        ui->conditionCombo->addItem(conditionDisplayName(condition), int(condition));
    for (int company = int(GradingCompany::None); company <= int(GradingCompany::Other); ++company)
        ui->gradeCompanyCombo->addItem(gradingCompanyDisplayName(GradingCompany(company)), company);
    populating = false;

    retitleValueBox();
    applyNoteColour();
    clear();

    for (QComboBox *combo : {ui->finishCombo, ui->editionCombo, ui->conditionCombo, ui->gradeCompanyCombo})
        connect(combo, &QComboBox::currentIndexChanged, this, &CardDetailsWidget::commit);
    connect(ui->countSpin, &QSpinBox::valueChanged, this, &CardDetailsWidget::commit);
    connect(ui->gradeNoteEdit, &QLineEdit::editingFinished, this, &CardDetailsWidget::commit);
    connect(ui->notesEdit, &QLineEdit::editingFinished, this, &CardDetailsWidget::commit);
}

CardDetailsWidget::~CardDetailsWidget()
{
    delete ui;
}

void CardDetailsWidget::setTcgdexClient(TcgdexClient *newClient)
{
    if (client == newClient)
        return;
    if (client)
        disconnect(client, nullptr, this, nullptr);
    client = newClient;
    if (!client)
        return;
    connect(client, &TcgdexClient::imageReady, this, &CardDetailsWidget::onImageReady);
    connect(client, &TcgdexClient::imageFailed, this, &CardDetailsWidget::onImageFailed);
    connect(client, &TcgdexClient::cardReady, this, &CardDetailsWidget::onCardReady);
    connect(client, &TcgdexClient::requestFailed, this,
            [this](int requestId, const QString &, const QString &message, ReplyFailure kind) {
                onCardFailed(requestId, PriceRefresh::cardFailureText(kind, message));
            });
}

void CardDetailsWidget::setCollection(Collection *newCollection)
{
    collection = newCollection;
}

void CardDetailsWidget::setCatalog(CardCatalog *newCatalog)
{
    catalog = newCatalog;
}

void CardDetailsWidget::setFallbackPrices(FallbackPrices *newFallbackPrices)
{
    if (fallbackPrices == newFallbackPrices)
        return;
    if (fallbackPrices)
        disconnect(fallbackPrices, nullptr, this, nullptr);
    fallbackPrices = newFallbackPrices;
    if (fallbackPrices)
        connect(fallbackPrices, &FallbackPrices::settled, this, &CardDetailsWidget::onSetIndexed);
}

void CardDetailsWidget::setPriceRefresh(PriceRefresh *newPriceRefresh)
{
    if (priceRefresh == newPriceRefresh)
        return;
    if (priceRefresh)
        disconnect(priceRefresh, nullptr, this, nullptr);
    priceRefresh = newPriceRefresh;
    // A run's end tells what it kept.
    if (priceRefresh)
        connect(priceRefresh, &PriceRefresh::outcomeNoteChanged, this, [this] {
            if (hasEntry)
                refresh();
        });
}

void CardDetailsWidget::clear()
{
    // Already empty: nothing to draw again.
    if (shownEmpty)
        return;
    shownEmpty = true;
    hasEntry = false;
    detailValid = false;
    cardFailure.clear();
    entry = CardEntry();
    detail = CardDetail();
    artworkRequestId = 0;
    cardRequestId = 0;
    artwork = QPixmap();
    artworkSize = QSize();
    setLogo = QPixmap();
    setLogoLabel->hide();
    setLogoRequestId = 0;
    setLogoFallbackUrl.clear();

    ui->imageLabel->setPixmap(QPixmap());
    ui->imageLabel->setText(tr("Select a card in the collection"));
    ui->titleLabel->clear();
    ui->titleLabel->setToolTip(QString());
    for (QLabel *value : {ui->numberValue, ui->setValue, ui->serieValue, ui->yearValue, ui->rarityValue,
                          ui->illustratorValue, ui->languageValue, ui->eurValue, ui->usdValue,
                          ui->lineTotalValue})
        value->setText(noValue);
    showPriceNote({});
    ui->copyBox->setEnabled(false);
}

void CardDetailsWidget::showEntry(const CardEntry &shown)
{
    entry = shown;
    hasEntry = true;
    shownEmpty = false;
    detailValid = false;
    cardFailure.clear();
    // Answers to the previous holding's requests must not land here.
    artworkRequestId = 0;
    cardRequestId = 0;
    // Nor may the previous card's picture come back on a resize.
    artwork = QPixmap();
    artworkSize = QSize();
    ui->copyBox->setEnabled(true);
    setLogo = QPixmap();
    setLogoLabel->hide();
    setLogoRequestId = 0;
    setLogoFallbackUrl.clear();

    showFactsAndEditors();
    ui->rarityValue->setText(tr("loading..."));
    ui->illustratorValue->setText(tr("loading..."));

    if (collection) {
        const SetRecord record = collection->setInfo(entry.lang, entry.setId);
        ui->setValue->setText(NameTranslator::translateSetName(entry.lang, record.id, record.name));
        ui->serieValue->setText(record.serie.isEmpty()
                                    ? noValue
                                    : NameTranslator::translateSerieName(entry.lang, QString(), record.serie));
        ui->yearValue->setText(record.releaseDate.isValid() ? QString::number(record.releaseDate.year())
                                                            : noValue);
        if (fallbackPrices)
            fallbackPrices->lookUp(entry.lang, entry.setId);
        if (client) {
            QString logo = record.logo;
            QString symbol = record.symbol;
            if ((logo.isEmpty() || symbol.isEmpty()) && catalog) {
                const SetRecord summary = catalog->setSummary(entry.lang, record.id);
                if (logo.isEmpty())
                    logo = summary.logo;
                if (symbol.isEmpty())
                    symbol = summary.symbol;
            }
            if (!logo.isEmpty()) {
                setLogoFallbackUrl = symbol;
                setLogoRequestId = client->fetchSetArtwork(logo);
            } else if (!symbol.isEmpty()) {
                setLogoRequestId = client->fetchSetArtwork(symbol);
            }
        }
    }

    if (client) {
        ui->imageLabel->setPixmap(QPixmap());
        if (entry.image.isEmpty()) {
            ui->imageLabel->setText(tr("No artwork available"));
            artworkRequestId = 0;
        } else {
            ui->imageLabel->setText(tr("Loading artwork..."));
            artworkRequestId = client->fetchCardImage(entry.image, 1);
        }
        cardRequestId = client->fetchCard(entry.lang, entry.cardId);
        // The stored figures were shown before the record was asked for.
        if (!detailValid && cardFailure.isEmpty())
            showStoredValues();
    }
}

void CardDetailsWidget::setEntry(const CardEntry &shown)
{
    if (!hasEntry || shown.cardId != entry.cardId || shown.lang != entry.lang) {
        showEntry(shown);
        return;
    }
    entry = shown;
    showFactsAndEditors();
}

void CardDetailsWidget::refresh()
{
    retitleValueBox();
    if (detailValid)
        applyCardRecord(detail);
    else
        showStoredValues();
}

void CardDetailsWidget::retitleValueBox()
{
    ui->valueBox->setTitle(tr("Market value (%1)").arg(Currency::currentCode()));
}

void CardDetailsWidget::showFactsAndEditors()
{
    populating = true;
    ui->titleLabel->setToolTip(NameTranslator::displayName(entry.lang, entry.cardId, entry.name));
    fitTitle();
    ui->numberValue->setText(entry.localId);
    ui->languageValue->setText(languageDisplayName(entry.lang));

    refillPrintingCombos();
    if (selectData(ui->finishCombo, entry.variant) < 0)
        ui->finishCombo->setCurrentIndex(0);
    if (selectData(ui->editionCombo, entry.edition) < 0)
        ui->editionCombo->setCurrentIndex(0);
    selectData(ui->conditionCombo, int(entry.condition));
    selectData(ui->gradeCompanyCombo, int(entry.gradeCompany));

    ui->gradeNoteEdit->setText(entry.gradeNote);
    ui->notesEdit->setText(entry.notes);
    // A note longer than its field shows its beginning.
    ui->gradeNoteEdit->setCursorPosition(0);
    ui->notesEdit->setCursorPosition(0);
    ui->countSpin->setValue(entry.count);
    ui->gradeNoteEdit->setEnabled(entry.gradeCompany != GradingCompany::None);
    populating = false;
    showValues();
}

void CardDetailsWidget::refillPrintingCombos()
{
    const bool useVariants = detailValid && detail.id == entry.cardId && !detail.variants.isEmpty();
    const Printings printings =
        Errata::printingsFor(entry.lang, entry.setId, entry.cardId, useVariants ? &detail.variants : nullptr);

    QStringList finishes = printings.finishes;
    if (entry.variant.isEmpty())
        finishes.prepend(QString());
    else if (!finishes.contains(entry.variant))
        finishes.append(entry.variant);
    QStringList editions = printings.editions;
    if (!entry.edition.isEmpty() && !editions.contains(entry.edition))
        editions.append(entry.edition);

    const QSignalBlocker finishBlocker(ui->finishCombo);
    const QSignalBlocker editionBlocker(ui->editionCombo);
    ui->finishCombo->clear();
    for (const QString &finish : qAsConst(finishes))
        ui->finishCombo->addItem(finishDisplayName(finish), finish);
    ui->editionCombo->clear();
    for (const QString &edition : qAsConst(editions))
        ui->editionCombo->addItem(editionDisplayName(edition), edition);
    ui->editionCombo->setEnabled(ui->editionCombo->count() >= 2);
}

void CardDetailsWidget::showStoredValues()
{
    if (!hasEntry) {
        ui->eurValue->setText(noValue);
        ui->usdValue->setText(noValue);
        ui->lineTotalValue->setText(noValue);
        return;
    }
    QStringList notes;
    if (entry.customPriceEur > 0.0)
        ui->eurValue->setText(tr("%1 (custom)").arg(Currency::formatFromEur(entry.customPriceEur)));
    if (!cardFailure.isEmpty()) {
        // The card database gave no record: no source said a figure, and
        // the line total is the one stored, told as such.
        if (entry.customPriceEur <= 0.0)
            ui->eurValue->setText(tr("unknown"));
        ui->usdValue->setText(tr("unknown"));
        showStoredLineTotal();
        notes.append(tr("Neither source's figure is known: %1.").arg(cardFailure));
    } else if (cardRequestId != 0) {
        // The card database's record is on its way: no source's figure is
        // known yet, and the line total is the one stored, told as such.
        if (entry.customPriceEur <= 0.0)
            ui->eurValue->setText(lookingUpText());
        ui->usdValue->setText(lookingUpText());
        if (entry.customPriceEur > 0.0)
            showLineTotal(ui->lineTotalValue, entry);
        else
            showStoredLineTotal();
    } else {
        if (entry.customPriceEur <= 0.0)
            ui->eurValue->setText(entry.unitValueEur > 0.0 ? Currency::formatFromEur(entry.unitValueEur)
                                                           : tr("no price"));
        ui->usdValue->setText(entry.unitValueUsd > 0.0 ? Currency::formatFromUsd(entry.unitValueUsd) : noValue);
        showLineTotal(ui->lineTotalValue, entry);
    }
    // Nothing said of another holding stays; what is said of this one's
    // stored price holds without its card record.
    if (QString kept = keptPriceNote(); !kept.isEmpty())
        notes.prepend(std::move(kept));
    showPriceNote(notes);
}

void CardDetailsWidget::showStoredLineTotal()
{
    const double value = entryLineValue(entry);
    if (value <= 0.0)
        ui->lineTotalValue->setText(noValue);
    else if (entry.customPriceEur > 0.0 || !entry.priceUpdated.isValid())
        ui->lineTotalValue->setText(tr("%1 (stored)").arg(Currency::formatFromEur(value)));
    else // the mark never breaks inside: it goes to the next line whole, and under the caption
         // when the column is too narrow for it (the value form wraps long rows)
        ui->lineTotalValue->setText(Currency::formatFromEur(value) + QLatin1Char(' ')
                                    + tr("(stored %1)")
                                          .arg(entry.priceUpdated.toLocalTime().toString(QStringLiteral("d MMM yyyy")))
                                          .replace(QLatin1Char(' '), QChar::Nbsp));
}

QString CardDetailsWidget::lookingUpText()
{
    return tr("looking up\u2026");
}

QString CardDetailsWidget::keptPriceNote() const
{
    // A custom price, which the refresh leaves alone, makes the total.
    if (!priceRefresh || !hasEntry || entry.customPriceEur > 0.0)
        return {};
    const QString why = priceRefresh->keptReasonOf(entry);
    if (why.isEmpty())
        return {};
    if (entry.unitValueEur <= 0.0)
        return tr("No price is stored, and its source failed in the last refresh: %1.").arg(why);
    if (!entry.priceUpdated.isValid())
        return tr("The line total rests on the stored price, because its source failed in the last refresh: %1.")
            .arg(why);
    return tr("The line total rests on the price stored on %1, because its source failed in the last refresh: %2.")
        .arg(entry.priceUpdated.toLocalTime().toString(QStringLiteral("d MMM yyyy")), why);
}

void CardDetailsWidget::showPriceNote(const QStringList &notes)
{
    const QString text = notes.join(QLatin1Char('\n'));
    if (text != ui->priceNoteLabel->text())
        ui->priceNoteLabel->setText(text);
    fitWrappedLabels();
}

void CardDetailsWidget::showValues()
{
    if (detailValid)
        showCardValues();
    else
        showStoredValues();
}

void CardDetailsWidget::applyCardRecord(const CardDetail &card)
{
    if (!hasEntry)
        return;
    detail = card;
    detailValid = true;
    cardFailure.clear();

    populating = true;
    refillPrintingCombos();
    if (selectData(ui->finishCombo, entry.variant) < 0)
        ui->finishCombo->setCurrentIndex(0);
    if (selectData(ui->editionCombo, entry.edition) < 0)
        ui->editionCombo->setCurrentIndex(0);
    populating = false;

    ui->rarityValue->setText(detail.rarity.isEmpty() ? noValue : detail.rarity);
    ui->illustratorValue->setText(detail.illustrator.isEmpty() ? noValue : detail.illustrator);
    if (ui->setValue->text().isEmpty() || ui->setValue->text() == noValue)
        ui->setValue->setText(NameTranslator::translateSetName(entry.lang, detail.setId, detail.setName));
    showCardValues();
}

void CardDetailsWidget::showCardValues()
{
    const CardDetail priced = fallbackPrices ? fallbackPrices->withFallbackPrices(entry.lang, detail) : detail;
    const QString &finish = entry.variant;
    const QString &edition = entry.edition;
    const double cardmarket = Pricing::cardmarketPrice(priced, finish, edition);
    const PriceResult price = Pricing::priceFor(priced, finish, edition);
    // When the price is TCGplayer's, it is this dollar figure converted.
    const double usd = Pricing::tcgplayerPrice(priced, finish, edition);
    const double multiplier = Pricing::gradeMultiplier(entry.gradeCompany, entry.gradeNote);
    const bool fromUsd = price.origin == PriceResult::TCGplayer;
    // The rows and the note convert dollars at the rate in use (the stored
    // one, else the built-in): the one the next refresh values with. The
    // line total is the line's stored value, which may rest on another
    // (a refresh that kept it says why).
    const double usdToEur = FxRates::usdToEur();
    // A figure that reads what TCGCSV failed to give, or a figure TCGCSV
    // listed twice, differently, is unknown, as a refresh takes it: the
    // source did not say the card is unlisted. One that reads what a
    // look-up still on its way will give is not known yet (the index names
    // the figures of a group that failed and of one being looked up alike).
    // The value resting on either is the stored one.
    const bool tcgcsvFailed = fallbackPrices && fallbackPrices->state(entry.lang, entry.setId) == PriceIndex::Failed;
    const bool lookingUp = fallbackPrices && fallbackPrices->isLookingUp(entry.lang, entry.setId);
    const auto figureOf = [tcgcsvFailed, lookingUp](unsigned reads) {
        if ((reads & PriceResult::DisputedDollars) != 0)
            return Figure::Unknown;
        if ((reads & PriceResult::UnansweredDollars) == 0
            && (!tcgcsvFailed || (reads & PriceResult::TcgcsvDollars) == 0))
            return Figure::Known;
        return lookingUp ? Figure::LookingUp : Figure::Unknown;
    };
    const unsigned usdReads = Pricing::tcgplayerPriceReads(priced, finish, edition);
    const Figure usdFigure = figureOf(usdReads);
    const Figure valueFigure = figureOf(price.reads);
    const bool usdUnknown = usdFigure != Figure::Known;
    const bool valueUnknown = valueFigure != Figure::Known;
    const double value = valueUnknown ? 0.0 : price.value;

    if (entry.customPriceEur > 0.0) {
        ui->eurValue->setText(tr("%1 (custom)").arg(Currency::formatFromEur(entry.customPriceEur)));
        showLineTotal(ui->lineTotalValue, entry);
    } else {
        const double shown = cardmarket > 0.0 ? cardmarket : value;
        if (shown > 0.0)
            ui->eurValue->setText(Currency::formatFromEur(shown * multiplier));
        else
            ui->eurValue->setText(valueFigure == Figure::LookingUp ? lookingUpText() : tr("not listed"));
        if (valueUnknown)
            showStoredLineTotal();
        else
            showLineTotal(ui->lineTotalValue, entry);
    }
    if (usdFigure == Figure::LookingUp)
        ui->usdValue->setText(lookingUpText());
    else if (usdUnknown)
        ui->usdValue->setText(tr("unknown"));
    else
        ui->usdValue->setText(usd > 0.0 ? Currency::formatFromUsd(multiplier * usd) : tr("not listed"));

    QStringList notes;
    // What the last refresh kept, and why, says it already.
    if (QString kept = keptPriceNote(); !kept.isEmpty()) {
        notes.append(std::move(kept));
    } else if (usdFigure == Figure::Unknown || valueFigure == Figure::Unknown) {
        const bool disputed = ((usdReads | price.reads) & PriceResult::DisputedDollars) != 0;
        notes.append(tr("TCGplayer's figure is not known: %1.")
                         .arg(PriceRefresh::keptBecauseText(disputed ? PriceRefresh::KeptBecause::DisputedPrice
                                                                     : PriceRefresh::KeptBecause::FallbackPrices)));
    } else if (usdUnknown || valueUnknown) {
        notes.append(tr("TCGplayer's figure is not known yet: TCGCSV's prices for its set are being looked up."));
    }
    if (fromUsd && !valueUnknown) {
        const QString rate = QLocale().toString(usdToEur, 'f', 4);
        // A first-edition or shadowless figure wins over Cardmarket whatever
        // the price source; only otherwise was TCGplayer the higher of two.
        const bool editionPrice = Pricing::tcgplayerEditionPriceUsd(priced, finish, edition) > 0.0;
        if (cardmarket <= 0.0)
            notes.append(tr("Cardmarket does not price this card; the Cardmarket row is the USD market price "
                            "converted at %1 USD/EUR.")
                             .arg(rate));
        else if (editionPrice)
            notes.append(tr("Valued at the TCGplayer price of this edition, which comes before Cardmarket, "
                            "converted at %1 USD/EUR.")
                             .arg(rate));
        else
            notes.append(tr("Valued at the TCGplayer price, which is the higher of the two, converted at %1 "
                            "USD/EUR.")
                             .arg(rate));
    }
    if (Pricing::priceOriginSource(priced, finish, edition))
        notes.append(tr("Price from TCGCSV (TCGplayer market data)."));
    else if (usd <= 0.0 && !usdUnknown && entry.lang == Language::Japanese)
        notes.append(tr("TCGplayer does not list Japanese printings."));
    if (value <= 0.0 && !valueUnknown && fallbackPrices) {
        const QString status = fallbackPrices->statusText(entry.lang, entry.setId);
        if (!status.isEmpty())
            notes.append(status);
    }
    // A custom price values the copy, grade or no grade.
    if (entry.customPriceEur <= 0.0 && Pricing::isNeutralGrade(entry.gradeCompany, entry.gradeNote))
        notes.append(tr("Graded copy valued at the raw price (no grade premium configured)."));
    showPriceNote(notes);
}

// The card's facts, the values and the note show whole, wrapped to their
// width. A wrapped label inside the column is not given the height its
// lines need by the layouts around it; it asks for that height itself, and
// the panel grows to hold it (its dock scrolls it).
void CardDetailsWidget::fitWrappedLabels()
{
    for (QLabel *label : std::as_const(m_wrappedLabels)) {
        const int least = label->minimumHeight();
        int height = 0;
        if (!label->text().isEmpty()) {
            // A label never answers less than the height it was given: a
            // text shorter than the one before is measured without it.
            label->setMinimumHeight(0);
            height = label->heightForWidth(label->width());
            label->setMinimumHeight(least);
        }
        if (height >= 0 && height != least)
            label->setMinimumHeight(height);
    }
}

// The editors' box is as tall as its rows, and no narrower than they are.
// The panel is never made shorter than the editors under the smallest
// picture, nor taller for a card's long note or name: its dock keeps its
// height, and so the editors their place, from card to card.
void CardDetailsWidget::fitEditors()
{
    const QSize needed = ui->detailContents->minimumSizeHint().expandedTo(ui->detailContents->sizeHint());
    ui->detailScrollArea->setMinimumWidth(ui->detailContents->minimumSizeHint().width());
    ui->detailScrollArea->setFixedHeight(needed.height());
    const QMargins margins = ui->rootLayout->contentsMargins();
    setMinimumHeight(ui->copyColumnLayout->minimumSize().height() + margins.top() + margins.bottom());
    // The editors' width decides whether the card's facts fit beside them.
    fitColumns();
}

// The editors' column, as wide as the editors are once styled (before the
// editors' box has been fitted to them too).
int CardDetailsWidget::copyColumnWidth() const
{
    ui->detailContents->ensurePolished();
    return std::max(ui->copyColumnLayout->minimumSize().width(), ui->detailContents->minimumSizeHint().width());
}

QSize CardDetailsWidget::minimumSizeHint() const
{
    const QMargins margins = ui->rootLayout->contentsMargins();
    const int widest = std::max(copyColumnWidth(), ui->cardColumnLayout->minimumSize().width());
    return QSize(widest + margins.left() + margins.right(), QWidget::minimumSizeHint().height());
}

int CardDetailsWidget::heightForWidth(int width) const
{
    if (width < sideBySideWidth())
        return QWidget::heightForWidth(width);
    // The card's facts and values beside the picture, with a long note,
    // may need more than the editors under it.
    return std::max(minimumHeight(), ui->rootLayout->totalMinimumSize().height());
}

int CardDetailsWidget::sideBySideWidth() const
{
    const QMargins margins = ui->rootLayout->contentsMargins();
    return copyColumnWidth() + ui->artworkLayout->spacing() + ui->cardColumnLayout->minimumSize().width()
        + margins.left() + margins.right();
}

// Editors under the picture, beside the card's facts, while they fit
// beside them; narrower, the picture, the facts and the editors one under
// the other, the picture a card's height.
void CardDetailsWidget::fitColumns()
{
    const bool narrow = width() < sideBySideWidth();
    if (narrow == (ui->rootLayout->indexOf(ui->detailScrollArea) >= 0))
        return;
    (narrow ? ui->copyColumnLayout : ui->rootLayout)->removeWidget(ui->detailScrollArea);
    if (narrow)
        ui->rootLayout->addWidget(ui->detailScrollArea);
    else // above the room a long note leaves under the editors
        ui->copyColumnLayout->insertWidget(1, ui->detailScrollArea);
    ui->artworkLayout->setDirection(narrow ? QBoxLayout::TopToBottom : QBoxLayout::LeftToRight);
    ui->imageLabel->setMinimumHeight(narrow ? NarrowArtworkHeight : ArtworkMinimumHeight);
    fitEditors();
}

// Beside the card's facts, a panel made taller than its dock by a long note
// keeps the picture the height the dock gives it: the room the note takes
// is left under the editors, which stay in their place.
void CardDetailsWidget::fitArtworkToDock()
{
    QWidget *dock = parentWidget();
    if (dock && dock != watchedDock) {
        if (watchedDock)
            watchedDock->removeEventFilter(this);
        watchedDock = dock;
        dock->installEventFilter(this); // its height may change while the panel's does not
    }
    int most = QWIDGETSIZE_MAX;
    if (dock && ui->rootLayout->indexOf(ui->detailScrollArea) < 0)
        most = std::max(ArtworkMinimumHeight, dock->height() - (minimumHeight() - ArtworkMinimumHeight));
    if (ui->imageLabel->maximumHeight() != most)
        ui->imageLabel->setMaximumHeight(most);
}

void CardDetailsWidget::fitTitle()
{
    QLabel *title = ui->titleLabel;
    title->ensurePolished();
    const QString text = fittedText(title->toolTip(), title->font(), title->contentsRect().width(), 2);
    if (text != title->text())
        title->setText(text);
}

// The style-sheet parser of this Qt does not know palette(placeholder-text),
// so the note takes the colour from the palette here, again whenever the
// palette changes. The sheet is only replaced when it differs.
void CardDetailsWidget::applyNoteColour()
{
    const QColor colour = palette().color(QPalette::PlaceholderText);
    const QString sheet = QStringLiteral("color: %1;").arg(colour.name(QColor::HexArgb));
    if (ui->priceNoteLabel->styleSheet() != sheet)
        ui->priceNoteLabel->setStyleSheet(sheet);
}

void CardDetailsWidget::commit()
{
    if (populating || !hasEntry)
        return;
    CardEntry updated = entry;
    // An editor without a current item keeps the holding's own value.
    const QVariant finish = ui->finishCombo->currentData();
    if (finish.isValid())
        updated.variant = finish.toString();
    const QVariant edition = ui->editionCombo->currentData();
    if (edition.isValid())
        updated.edition = edition.toString();
    const QVariant condition = ui->conditionCombo->currentData();
    if (condition.isValid())
        updated.condition = Condition(condition.toInt());
    const QVariant company = ui->gradeCompanyCombo->currentData();
    if (company.isValid())
        updated.gradeCompany = GradingCompany(company.toInt());
    updated.gradeNote = ui->gradeNoteEdit->text().trimmed();
    updated.notes = ui->notesEdit->text();
    updated.count = ui->countSpin->value();

    const bool graded = updated.gradeCompany != GradingCompany::None;
    if (!graded) {
        updated.gradeNote.clear();
        ui->gradeNoteEdit->clear();
    }
    ui->gradeNoteEdit->setEnabled(graded);

    if (entryKey(updated) == entryKey(entry) && updated.count == entry.count && updated.notes == entry.notes)
        return;
    entry = updated;
    showValues();
    Q_EMIT entryEdited(entry);
}

void CardDetailsWidget::scaleArtwork()
{
    const QSize size = ui->imageLabel->contentsRect().size();
    if (artwork.isNull() || size.isEmpty())
        return;
    artworkSize = size;
    const qreal ratio = devicePixelRatioF();
    QPixmap scaled = artwork.scaled(size * ratio, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    scaled.setDevicePixelRatio(ratio);
    ui->imageLabel->setPixmap(scaled);
}

// The logo sits in the bottom-right corner of the artwork shown, or of the
// label while no artwork is shown, sized by that rectangle's height, so that
// it never floats beside a picture narrower than its label nor covers a small
// one.
void CardDetailsWidget::placeSetLogo()
{
    const QRect area = ui->imageLabel->rect();
    if (setLogo.isNull() || area.isEmpty()) {
        setLogoLabel->hide();
        return;
    }
    QRect corner = area;
    const QPixmap shown = ui->imageLabel->pixmap();
    if (!shown.isNull()) {
        QRect picture(QPoint(0, 0), shown.deviceIndependentSize().toSize());
        picture.moveCenter(ui->imageLabel->contentsRect().center());
        corner = picture.intersected(area);
    }
    const int height = qBound(18, corner.height() / 8, 56);
    const QPixmap scaled = setLogo.scaled(3 * height, height, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    setLogoLabel->setPixmap(scaled);
    setLogoLabel->resize(scaled.size());
    setLogoLabel->move(corner.right() - 4 - scaled.width(), corner.bottom() - 4 - scaled.height());
    setLogoLabel->raise();
    setLogoLabel->show();
}

void CardDetailsWidget::onCardReady(int requestId, Language, const CardDetail &card)
{
    if (requestId == 0 || requestId != cardRequestId)
        return;
    // A figure no card sells for makes the whole answer suspect, as it does
    // for a refresh.
    const QString problem = Pricing::pricingProblem(card.pricing);
    if (problem.isEmpty())
        applyCardRecord(card);
    else
        onCardFailed(requestId, PriceRefresh::cardFailureText(ReplyFailure::Unusable, problem));
}

// Without the card record the panel shows what the holding has on record,
// and says why no source's figure is known.
void CardDetailsWidget::onCardFailed(int requestId, const QString &failure)
{
    if (requestId == 0 || requestId != cardRequestId || !hasEntry)
        return;
    ui->rarityValue->setText(entry.rarity.isEmpty() ? noValue : entry.rarity);
    ui->illustratorValue->setText(noValue);
    cardFailure = failure;
    if (!detailValid)
        showStoredValues();
}

void CardDetailsWidget::onImageReady(int requestId, const QString &, const QPixmap &pixmap)
{
    if (requestId == 0)
        return;
    if (requestId == artworkRequestId) {
        artwork = pixmap;
        if (artwork.isNull()) {
            ui->imageLabel->setPixmap(QPixmap());
            ui->imageLabel->setText(tr("Artwork unavailable"));
        } else {
            ui->imageLabel->setText(QString());
            scaleArtwork();
        }
        placeSetLogo();
    } else if (requestId == setLogoRequestId) {
        setLogoFallbackUrl.clear();
        setLogo = pixmap;
        placeSetLogo();
    }
}

void CardDetailsWidget::onImageFailed(int requestId, const QString &, const QString &)
{
    if (requestId == 0)
        return;
    if (requestId == artworkRequestId) {
        artwork = QPixmap();
        ui->imageLabel->setPixmap(QPixmap());
        ui->imageLabel->setText(tr("Artwork unavailable"));
        placeSetLogo();
    } else if (requestId == setLogoRequestId) {
        if (!setLogoFallbackUrl.isEmpty() && client) {
            const QString fallback = setLogoFallbackUrl;
            setLogoFallbackUrl.clear();
            setLogoRequestId = client->fetchSetArtwork(fallback);
        } else {
            setLogo = QPixmap();
            placeSetLogo();
        }
    }
}

void CardDetailsWidget::onSetIndexed(Language language, const QString &setId)
{
    if (detailValid && isSameSet(language, setId, entry.lang, entry.setId))
        applyCardRecord(detail);
}

bool CardDetailsWidget::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == watchedDock && event->type() == QEvent::Resize) {
        fitArtworkToDock();
    } else if (watched == ui->imageLabel && event->type() == QEvent::Resize) {
        if (!artwork.isNull() && ui->imageLabel->contentsRect().size() != artworkSize)
            scaleArtwork();
        placeSetLogo();
    } else if (event->type() == QEvent::Resize && m_wrappedLabels.contains(qobject_cast<QLabel *>(watched))) {
        fitWrappedLabels();
    } else if (watched == ui->detailContents && event->type() == QEvent::LayoutRequest) {
        fitEditors();
    } else if (watched == ui->titleLabel && (event->type() == QEvent::Resize || event->type() == QEvent::FontChange)) {
        fitTitle();
    }
    return QWidget::eventFilter(watched, event);
}

void CardDetailsWidget::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    fitColumns();
    fitArtworkToDock();
    fitWrappedLabels();
}

void CardDetailsWidget::changeEvent(QEvent *event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::PaletteChange)
        applyNoteColour();
}

} // namespace pv
