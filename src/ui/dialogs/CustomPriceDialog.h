#pragma once

#include "collection/CardEntry.h"

#include <QDialog>

#include <memory>

class QPushButton;

namespace Ui {
class CustomPriceDialog;
}

namespace pv {

// Sets or clears the custom price of one holding. The price is typed in the
// display currency and handed back in euros; the dialog changes nothing itself.
class CustomPriceDialog : public QDialog
{
    Q_OBJECT

public:
    explicit CustomPriceDialog(const CardEntry &entry, QWidget *parent = nullptr);
    ~CustomPriceDialog() override;

    // The custom price in euros, 0 for none. A field left as it opened gives
    // back the holding's own price, untouched by the round trip through the
    // display currency.
    double price() const;
    void clearPrice();
    void openLookup();

private:
    std::unique_ptr<Ui::CustomPriceDialog> m_ui;
    QPushButton *m_clearButton = nullptr;
    CardEntry m_entry;
    double m_openingValue = 0.0;
};

} // namespace pv
