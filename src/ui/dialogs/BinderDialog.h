#pragma once

#include "collection/Binder.h"
#include "collection/BinderCard.h"
#include "collection/Collection.h"
#include "ui/dialogs/DexLookups.h"

#include <QDialog>
#include <QList>
#include <QPointer>
#include <QStringList>

class QCheckBox;

namespace Ui {
class BinderDialog;
}

namespace pv {

class CardCatalog;
class DexIndex;
class FallbackPrices;
class TcgdexClient;

// Shows one binder page by page, like a physical album, with a panel that
// changes its view options (missing cards, page layout, hidden rarities). It
// never changes the collection: view changes are reported by binderChanged.
class BinderDialog : public QDialog
{
    Q_OBJECT

public:
    // Every service is optional and not owned.
    BinderDialog(CardCatalog *catalog, DexIndex *dexIndex, TcgdexClient *client, FallbackPrices *fallbackPrices,
                 Collection *collection, QWidget *parent = nullptr);
    ~BinderDialog() override;

    // A detached binder is not one of the collection's; its view changes are
    // not reported. Set before setBinder.
    void setDetached(bool detached);
    bool isDetached() const { return m_detached; }

    void setBinder(const Binder &binder);
    const Binder &binder() const { return m_binder; }

    // Resolves the binder again and redraws everything.
    void rebuild();
    // Rebuilds after a change of the holdings that may alter the binder.
    void followHoldings(const Collection::Change &change);
    // Recomputes the prices of the current page's cards.
    void refreshPrices();

    int currentPage() const { return m_page; }
    int pageCount() const;
    const QList<BinderCard> &shownCards() const { return m_shown; }
    const QList<BinderCard> &pageCards() const { return m_pageCards; }

Q_SIGNALS:
    void binderChanged(const pv::Binder &binder);
    void cardActivated(const QString &cardId);

protected:
    void keyPressEvent(QKeyEvent *event) override;
    void changeEvent(QEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void relayout();
    void showPage(int page);
    void applyViewOptions();
    void rebuildRarityPanel();
    void computePocketPrices();
    void requestSetPrices();
    void updateProgress();
    void updateWindowButtons();
    void toggleMaximized();
    void toggleFullScreen();
    void syncControls();
    void watchArrowKeys(QWidget *widget);
    // Turns a page by Left or Right; false when there is no page that way.
    bool turnPage(int key);
    void onSetIndexed(Language language, const QString &setId);

    Ui::BinderDialog *ui;
    QPointer<CardCatalog> m_catalog;
    QPointer<DexIndex> m_dexIndex;
    QPointer<TcgdexClient> m_client;
    QPointer<FallbackPrices> m_fallbackPrices;
    QPointer<Collection> m_collection;
    Binder m_binder;
    bool m_detached = false;
    QList<BinderCard> m_resolved;
    int m_ownedCount = 0;
    QStringList m_rarities;
    QList<int> m_pendingDex;
    DexLookups m_lookups;
    QList<BinderCard> m_shown;
    QList<BinderCard> m_pageCards;
    int m_page = 0;
    bool m_wasMaximized = false;
    QList<QCheckBox *> m_rarityBoxes;
    QStringList m_panelRarities;
    bool m_updating = false;
    // While the page's sets are asked for: a set known at once settles
    // inside the request, and the page's prices follow once afterwards.
    bool m_requestingSets = false;
    bool m_setSettledMeanwhile = false;
};

} // namespace pv
