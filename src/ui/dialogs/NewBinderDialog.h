#pragma once

#include "collection/Binder.h"
#include "ui/dialogs/DexLookups.h"

#include <QDialog>
#include <QList>
#include <QPointer>
#include <QTimer>

namespace Ui {
class NewBinderDialog;
}

namespace pv {

class CardCatalog;
class Collection;
class DexIndex;

// Defines a new binder: a name, a language and either the criteria of one
// rule or one of the built-in templates. A preview line says how many cards
// the binder would hold. The dialog changes nothing itself.
class NewBinderDialog : public QDialog
{
    Q_OBJECT

public:
    // The services are optional and not owned.
    NewBinderDialog(CardCatalog *catalog, DexIndex *dexIndex, Collection *collection, QWidget *parent = nullptr);
    ~NewBinderDialog() override;

    // The binder the form describes, with a fresh id on every call.
    Binder binder() const;
    QList<BinderRule> rules() const;

private:
    void applyTemplate();
    void updatePreview();
    void fillLanguages();
    void fillTemplates();
    void fillSeries();
    void fillSets();
    void fillRarities();
    Language currentLanguage() const;
    int currentTemplate() const;
    // The one rule the criteria form shows; empty when nothing is chosen.
    BinderRule formRule() const;
    void restartPreview();
    void updateOkButton();
    void criteriaEdited();
    void onDexAnswer();
    // Drops the kept template rules once the form shows them exactly.
    void adoptFormWhenItHoldsTemplate();

    Ui::NewBinderDialog *ui;
    QPointer<CardCatalog> m_catalog;
    QPointer<DexIndex> m_dexIndex;
    QPointer<Collection> m_collection;
    QList<Binder> m_templates;
    QList<BinderRule> m_templateRules;
    // The kept rules belong to a one-rule template the form could not show
    // when it was chosen; the user's own edits of the criteria replace them.
    bool m_rulesAwaitForm = false;
    int m_topValue = 0;
    QTimer m_previewTimer;
    bool m_applying = false;
    bool m_waitingForDex = false;
    DexLookups m_lookups;
};

} // namespace pv
