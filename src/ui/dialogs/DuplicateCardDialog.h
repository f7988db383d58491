#pragma once

#include "collection/CardEntry.h"

#include <QDialog>
#include <QSet>
#include <QString>

#include <memory>

namespace Ui {
class DuplicateCardDialog;
}

namespace pv {

// Makes a new holding from an existing one: the same card in another
// printing, condition or grade, with its own count and notes. A copy whose
// key is the source's, or any line's of the collection, is refused, since
// identical holdings are one line with a count. The dialog changes nothing
// itself.
class DuplicateCardDialog : public QDialog
{
    Q_OBJECT

public:
    DuplicateCardDialog(const CardEntry &source, QSet<QString> lineKeys, QWidget *parent = nullptr);
    ~DuplicateCardDialog() override;

    // The new holding as the form describes it.
    CardEntry entry() const;
    void validate();

private:
    void fillVariants();

    std::unique_ptr<Ui::DuplicateCardDialog> m_ui;
    CardEntry m_source;
    QSet<QString> m_lineKeys;
};

} // namespace pv
