#pragma once

#include "catalog/CatalogCard.h"
#include "collection/CardEntry.h"
#include "core/CardVocabulary.h"
#include "core/SetDetail.h"
#include "core/SetRecord.h"

#include <QDialog>
#include <QHash>
#include <QList>
#include <QPointer>
#include <QSet>
#include <QSize>
#include <QString>

class QComboBox;
class QLineEdit;
class QModelIndex;
class QSortFilterProxyModel;
class QTimer;

namespace Ui {
class AddCardsDialog;
}

namespace pv {

class CardCatalog;
class CardPreviewPopup;
class Collection;
class FallbackPrices;
class SetCardsModel;
class TcgdexClient;

// Picks cards from the card catalog: browse one set at a time or search the
// whole catalog of a language, choose the printing, condition, grade and
// quantity, and collect the cards on a list of pending lines. The dialog
// changes nothing itself; whoever opened it reads the pending lines and the
// set records they need once it was accepted.
class AddCardsDialog : public QDialog
{
    Q_OBJECT

public:
    // The services are borrowed and may be null; the collection is read only
    // here, to mark the cards already owned.
    AddCardsDialog(TcgdexClient *client, CardCatalog *catalog, FallbackPrices *fallbackPrices, Collection *collection,
                   QWidget *parent = nullptr);
    ~AddCardsDialog() override;

    // The form alone, built ahead of its first opening: restart() fills it.
    static AddCardsDialog *prepare(TcgdexClient *client, CardCatalog *catalog, FallbackPrices *fallbackPrices,
                                   QWidget *parent);
    // Starts over as a dialog just built for the collection: nothing staged,
    // the first language, the set browser, every attribute and field as the
    // form has it, and the catalog asked for the language again.
    void restart(Collection *collection);
    // Done with until the next restart(): hidden, its set request cancelled,
    // its rows let go, and no longer following the catalog.
    void setAside();

    void selectLanguage(Language language);
    // Opens on a set of a language; the set is chosen as soon as the
    // language's catalog holds it.
    void preselect(Language language, const QString &setId);

    QList<CardEntry> pendingEntries() const { return m_pending; }
    // The records of the sets the pending lines still use.
    QList<SetRecord> pendingSets() const;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void hideEvent(QHideEvent *event) override;
    void showEvent(QShowEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;

private:
    struct FormOnly
    { };
    AddCardsDialog(FormOnly, TcgdexClient *client, CardCatalog *catalog, FallbackPrices *fallbackPrices,
                   QWidget *parent);
    // The opening's own part of construction, on a form as built.
    void start(Collection *collection);
    // Puts back what an opening changes, the form as built.
    void resetForm();
    void cancelSetDetail();

    Language currentLanguage() const;
    QString currentSetId() const;
    bool searchTabCurrent() const;

    // Set browser.
    void onLanguageChanged();
    void updateCatalogStatus();
    void fillSeriesCombo();
    void fillSetCombo();
    void restoreSetSelection();
    void updateSetIcons();
    void updateSetIcon(int row);
    void onSetArtworkReady(const QString &url, const QPixmap &pixmap);
    void loadSetCards();
    void onSetDetailReady(int requestId, pv::Language language, const pv::SetDetail &detail);
    void onSetDetailFailed(int requestId);
    void updateSetInfo(Language language, const SetDetail &detail);
    // The status line of the set shown; otherName titles a set the catalog
    // does not know.
    void showSetStatus(Language language, const QString &otherName, const QDate &released);
    void requestSetPrices(Language language, const QString &setId);
    void showCatalogError(Language language, bool ok, const QString &message);

    // Search tab and hover preview.
    void onTabChanged();
    void updateSearch();
    void onHoverTimeout();
    void stopHoverPreview();

    // Attributes and pending lines.
    void fillConditionCombos();
    void updateVariantCombos();
    void updatePriceContext();
    void onGradeCompanyChanged();
    void onCardActivated(const QModelIndex &proxyIndex);
    void addToPending(const CatalogCard &card);
    void coerceVariant(const CatalogCard &card, CardEntry &entry) const;
    void rebuildPendingList();
    void removeSelectedPending();
    void clearPending();
    void addCustomCard();

    Ui::AddCardsDialog *ui = nullptr;
    QPointer<TcgdexClient> m_client;
    QPointer<CardCatalog> m_catalog;
    QPointer<FallbackPrices> m_fallbackPrices;
    SetCardsModel *m_model = nullptr;
    QSortFilterProxyModel *m_proxy = nullptr;
    CardPreviewPopup *m_preview = nullptr;
    QTimer *m_hoverTimer = nullptr;
    QString m_hoverKey;
    QHash<QString, SetRecord> m_pendingSets;
    QHash<QString, int> m_setArtworkRows;
    QSet<QString> m_requestedSetArtwork;
    bool m_setIconsLoaded = false;
    QList<CardEntry> m_pending;
    QString m_rememberedSetId;
    int m_setDetailRequest = 0;
    Language m_setDetailLanguage = Language::English;
    QString m_setDetailSetId;
    // Between start() and setAside(): the catalog's news fills the browser.
    bool m_open = false;
    QSize m_formSize;
};

} // namespace pv
