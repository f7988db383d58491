#pragma once

#include "catalog/CatalogQuery.h"

#include <QWidget>

namespace Ui {
class CardSearchBar;
}

namespace pv {

class ClockTimer;

// The one-row search form over the search results and in the add-cards
// dialog: card name, printed number and set size. It announces a change once
// the user pauses typing, searches at once on Return, and splits a number
// typed whole ("005/165") into its two fields when editing of the number ends.
class CardSearchBar : public QWidget
{
    Q_OBJECT

public:
    static constexpr int pauseMs = 200;

    explicit CardSearchBar(QWidget *parent = nullptr);
    ~CardSearchBar() override;

    // Built fresh from the fields; a number typed whole already gives its
    // set size here, before the fields are split.
    CatalogQuery query() const;
    void focusSearch();
    // Empties every field, announcing nothing.
    void clear();

signals:
    void queryChanged();
    void searchRequested();

private:
    void splitNumber();
    void onNumberEdited(const QString &text);

    Ui::CardSearchBar *m_ui = nullptr;
    ClockTimer *m_pause = nullptr;
    // The set size the last split put into the count field, while the field
    // still holds it.
    QString m_splitCount;
};

} // namespace pv
