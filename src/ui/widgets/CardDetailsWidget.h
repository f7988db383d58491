#pragma once

#include "collection/CardEntry.h"
#include "core/CardDetail.h"

#include <QPixmap>
#include <QPointer>
#include <QSize>
#include <QString>
#include <QWidget>

class QLabel;

namespace Ui {
class CardDetailsWidget;
}

namespace pv {

class CardCatalog;
class Collection;
class FallbackPrices;
class PriceRefresh;
class TcgdexClient;

// The card panel: one holding with its artwork and set logo, the card's
// facts, its market value per price source with the line total and notes on
// how it was valued, and editors for the user's copy. Every committed edit is
// reported once through entryEdited; the panel never changes the collection.
class CardDetailsWidget : public QWidget
{
    Q_OBJECT
public:
    explicit CardDetailsWidget(QWidget *parent = nullptr);
    ~CardDetailsWidget() override;

    // The services are borrowed; each may be absent.
    void setTcgdexClient(TcgdexClient *client);
    void setCollection(Collection *collection);
    void setCatalog(CardCatalog *catalog);
    // Where the fallback prices of a set are asked for.
    void setFallbackPrices(FallbackPrices *fallbackPrices);
    // The refresh that tells which holdings kept their stored price.
    void setPriceRefresh(PriceRefresh *priceRefresh);

    // Shows the holding from scratch: facts, editors, stored values, set logo,
    // and the requests for its artwork and card record.
    void showEntry(const CardEntry &entry);
    // A new version of the shown holding keeps artwork and card record when
    // it is the same card in the same language.
    void setEntry(const CardEntry &entry);
    void clear();
    // Re-titles the value box and recomputes the value rows (after a price
    // refresh or a change of display currency).
    void refresh();

    // As narrow as the card's facts or the editors: narrower than the
    // picture and editors beside the facts, the panel puts them one under
    // the other (its dock scrolls it).
    QSize minimumSizeHint() const override;
    // Editors beside the picture, the height of the editors under the
    // smallest picture, or of the card's facts and values beside them when
    // a long note makes those taller (the editors keep their place).
    // Editors under it, what its lines take.
    int heightForWidth(int width) const override;
    // The least width that holds the editors beside the picture and both
    // beside the card's facts.
    int sideBySideWidth() const;

Q_SIGNALS:
    void entryEdited(const pv::CardEntry &updated);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    void retitleValueBox();
    void showFactsAndEditors();
    void refillPrintingCombos();
    void showStoredValues();
    // The line's stored value, said to be stored, with its date.
    void showStoredLineTotal();
    void showCardValues();
    // A figure of a source: known, still on its way, or unknown because its
    // source failed or contradicted itself.
    enum class Figure { Known, LookingUp, Unknown };
    static QString lookingUpText();
    // The live values while the card record is at hand, else the stored ones.
    void showValues();
    // Says so when the line total rests on a price the last refresh kept
    // because its source failed; empty otherwise.
    QString keptPriceNote() const;
    void showPriceNote(const QStringList &notes);
    void applyCardRecord(const CardDetail &card);
    void applyNoteColour();
    void fitWrappedLabels();
    void fitEditors();
    void fitTitle();
    void fitColumns();
    void fitArtworkToDock();
    int copyColumnWidth() const;
    void commit();
    void scaleArtwork();
    void placeSetLogo();
    void requestSetArtwork(const QString &setId);

    void onCardReady(int requestId, pv::Language language, const pv::CardDetail &card);
    // failure: what became of the request (PriceRefresh::cardFailureText).
    void onCardFailed(int requestId, const QString &failure);
    void onImageReady(int requestId, const QString &imageUrl, const QPixmap &pixmap);
    void onImageFailed(int requestId, const QString &imageUrl, const QString &message);
    void onSetIndexed(pv::Language language, const QString &setId);

    Ui::CardDetailsWidget *ui = nullptr;
    QPointer<TcgdexClient> client;
    QPointer<Collection> collection;
    QPointer<CardCatalog> catalog;
    QPointer<FallbackPrices> fallbackPrices;
    QPointer<PriceRefresh> priceRefresh;
    CardEntry entry;
    CardDetail detail;
    bool detailValid = false;
    // Why the card database gave no record of the shown holding; empty while
    // none failed.
    QString cardFailure;
    bool hasEntry = false;
    // Nothing shown since the panel was last cleared.
    bool shownEmpty = false;
    bool populating = false;
    QPixmap artwork;
    QSize artworkSize;
    int artworkRequestId = 0;
    int cardRequestId = 0;
    QPixmap setLogo;
    int setLogoRequestId = 0;
    QString setLogoFallbackUrl;
    QLabel *setLogoLabel = nullptr;
    QPointer<QWidget> watchedDock; // what the panel is shown in, watched for its height
    // The labels of the facts and values that wrap to their width.
    QList<QLabel *> m_wrappedLabels;
};

} // namespace pv
