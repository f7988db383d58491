#include "ui/widgets/CardSearchBar.h"

#include "catalog/CatalogSearch.h"
#include "core/ClockTimer.h"
#include "ui_CardSearchBar.h"

#include <QIntValidator>
#include <QLineEdit>
#include <QSignalBlocker>
#include <QStyle>

#include <algorithm>

namespace pv {

namespace {

// The width at which the edit shows a text this wide in full, beside its
// frame, margins and clear button: Qt sizes a line edit for 17 "x".
int widthShowing(const QLineEdit *edit, int textWidth)
{
    const int someText = 17 * edit->fontMetrics().horizontalAdvance(QLatin1Char('x'));
    return edit->sizeHint().width() - someText + textWidth;
}

} // namespace

CardSearchBar::CardSearchBar(QWidget *parent)
    : QWidget(parent)
    , m_ui(new Ui::CardSearchBar)
    , m_pause(new ClockTimer(pauseMs, this))
{
    m_ui->setupUi(this);
    m_ui->countSearchEdit->setValidator(new QIntValidator(1, 9999, this));
    // However narrow the row (a layout from a larger screen squeezes it), the
    // name field holds a long card name whole beside the clear button that a
    // typed name brings (Qt measures the empty field, without it): twenty
    // average characters fall short of one with capitals and wide letters.
    // The number fields hold their examples.
    QLineEdit *name = m_ui->nameSearchEdit;
    name->ensurePolished();
    const int clearButton = name->style()->pixelMetric(QStyle::PM_LineEditIconSize, nullptr, name) + 6
        + name->style()->pixelMetric(QStyle::PM_LineEditIconMargin, nullptr, name);
    const int longName = std::max(20 * name->fontMetrics().averageCharWidth(),
                                  name->fontMetrics().horizontalAdvance(QStringLiteral("Teal Mask Ogerpon ex")) + 2);
    name->setMinimumWidth(widthShowing(name, longName) + clearButton);
    for (QLineEdit *number : {m_ui->numberSearchEdit, m_ui->countSearchEdit}) {
        const int example = number->fontMetrics().horizontalAdvance(number->placeholderText()) + 2;
        number->setMinimumWidth(widthShowing(number, example));
    }
    QLineEdit *count = m_ui->countSearchEdit;
    count->setMaximumWidth(std::max(count->maximumWidth(), count->minimumWidth()));
    connect(m_pause, &ClockTimer::timeout, this, &CardSearchBar::queryChanged);
    // Splitting while the user types would eat the "/" at once and send the
    // digits after it into the number; the fields are split when editing of
    // the number ends instead. query() splits on its own meanwhile.
    connect(m_ui->numberSearchEdit, &QLineEdit::editingFinished, this, &CardSearchBar::splitNumber);
    connect(m_ui->numberSearchEdit, &QLineEdit::textEdited, this, &CardSearchBar::onNumberEdited);
    connect(m_ui->countSearchEdit, &QLineEdit::textEdited, this, [this] { m_splitCount.clear(); });
    for (QLineEdit *edit : {m_ui->nameSearchEdit, m_ui->numberSearchEdit, m_ui->countSearchEdit}) {
        connect(edit, &QLineEdit::textChanged, m_pause, &ClockTimer::start);
        connect(edit, &QLineEdit::returnPressed, this, [this] {
            m_pause->stop();
            emit searchRequested();
        });
    }
}

CardSearchBar::~CardSearchBar()
{
    // Closing the window takes the focus from a field, which ends its
    // editing: that must not reach a bar that is half gone.
    for (QLineEdit *edit : {m_ui->nameSearchEdit, m_ui->numberSearchEdit, m_ui->countSearchEdit})
        edit->disconnect(this);
    delete m_ui;
}

CatalogQuery CardSearchBar::query() const
{
    CatalogQuery query;
    query.text = m_ui->nameSearchEdit->text().trimmed();
    bool ok = false;
    const int count = m_ui->countSearchEdit->text().trimmed().toInt(&ok, 10);
    query.printedTotal = ok ? count : 0;
    splitPrintedNumber(m_ui->numberSearchEdit->text(), &query.number, &query.printedTotal);
    return query;
}

void CardSearchBar::focusSearch()
{
    m_ui->nameSearchEdit->setFocus(Qt::OtherFocusReason);
    m_ui->nameSearchEdit->selectAll();
}

void CardSearchBar::clear()
{
    for (QLineEdit *edit : {m_ui->nameSearchEdit, m_ui->numberSearchEdit, m_ui->countSearchEdit}) {
        const QSignalBlocker blocker(edit);
        edit->clear();
    }
    m_splitCount.clear();
    m_pause->stop();
}

void CardSearchBar::splitNumber()
{
    const QString text = m_ui->numberSearchEdit->text();
    if (!text.contains(QLatin1Char('/')))
        return;
    QString number;
    int total = 0;
    splitPrintedNumber(text, &number, &total);
    // The query reads the same before and after the split, so the edits are
    // silent and no search is announced for them.
    {
        const QSignalBlocker blockNumber(m_ui->numberSearchEdit);
        m_ui->numberSearchEdit->setText(number);
    }
    if (total > 0) {
        const QSignalBlocker blockCount(m_ui->countSearchEdit);
        m_splitCount = QString::number(total);
        m_ui->countSearchEdit->setText(m_splitCount);
    }
}

// A set size split off a number goes with it: a number cleared by the user
// takes it out of the count field too, so the next size typed there starts
// afresh. A size the user typed into the field stays.
void CardSearchBar::onNumberEdited(const QString &text)
{
    if (!text.trimmed().isEmpty() || m_splitCount.isEmpty())
        return;
    if (m_ui->countSearchEdit->text() == m_splitCount)
        m_ui->countSearchEdit->clear();
    m_splitCount.clear();
}

} // namespace pv
