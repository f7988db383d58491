#include "Fixtures.h"
#include "TestRegistry.h"
#include "TestSupport.h"

#include "collection/EntryKeys.h"
#include "core/Currency.h"
#include "core/FxRates.h"
#include "ui/dialogs/CustomPriceDialog.h"
#include "ui/dialogs/DuplicateCardDialog.h"

#include <QComboBox>
#include <QDesktopServices>
#include <QDialogButtonBox>
#include <QDoubleSpinBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTest>
#include <QUrlQuery>

using namespace pv;

namespace {

template <typename T>
T *child(QObject &parent, const char *name)
{
    return parent.findChild<T *>(QString::fromLatin1(name));
}

CardEntry charizard()
{
    CardEntry entry = test::holding(QStringLiteral("base1"), QStringLiteral("4"), QStringLiteral("Charizard"), 200.0);
    entry.localId = QStringLiteral("4/102");
    entry.variant = QStringLiteral("holo");
    entry.unitValueUsd = 220.0;
    entry.priceUpdated = QDateTime(QDate(2026, 11, 2), QTime(10, 0), Qt::UTC);
    return entry;
}

// Shows amounts in the currency of that code, converting at perEuro units to the euro.
void useCurrency(const QString &code, double perEuro)
{
    const double usdToEur = 0.9;
    QMap<QString, double> rates{{QStringLiteral("EUR"), usdToEur}};
    if (code != QLatin1String("EUR") && code != QLatin1String("USD"))
        rates.insert(code, perEuro * usdToEur);
    FxRates::store(rates, QDate(2026, 12, 1));
    if (code == QLatin1String("USD"))
        test::setSetting(QStringLiteral("pricing/usdToEur"), 1.0 / perEuro);
    Currency::setCurrent(Currency::byCode(code).id);
    Currency::reload();
}

QPushButton *okButton(QDialog &dialog)
{
    return child<QDialogButtonBox>(dialog, "buttonBox")->button(QDialogButtonBox::Ok);
}

} // namespace

// Records every address the dialogs hand to the desktop's browser.
class UrlRecorder : public QObject
{
    Q_OBJECT
public:
    QList<QUrl> urls;
public Q_SLOTS:
    void open(const QUrl &url) { urls.append(url); }
};

class CardCopyDialogsTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void cleanup()
    {
        Currency::setCurrent(Currency::byCode(QStringLiteral("EUR")).id);
        test::setSetting(QStringLiteral("valuation/gradeMultipliers"), QVariant());
    }

    void customPriceConvertsOnlyWhatTheUserChanged()
    {
        useCurrency(QStringLiteral("USD"), 1.1);
        CardEntry entry = charizard();
        entry.customPriceEur = 10.0;
        {
            CustomPriceDialog dialog(entry);
            auto *spin = child<QDoubleSpinBox>(dialog, "priceSpin");
            QCOMPARE(dialog.windowTitle(), QStringLiteral("Custom Price"));
            QCOMPARE(child<QLabel>(dialog, "entryLabel")->text(), QStringLiteral("Charizard (Holo)"));
            QCOMPARE(spin->suffix(), QStringLiteral(" USD"));
            QCOMPARE(spin->value(), 11.0);
            QCOMPARE(dialog.price(), 10.0);
            spin->setValue(22.0);
            QVERIFY(qAbs(dialog.price() - 20.0) < 1e-9);
        }

        // An untouched field gives back the stored price exactly, even where
        // two decimals of the display currency cannot carry it.
        useCurrency(QStringLiteral("GBP"), 0.86);
        entry.customPriceEur = 9.99;
        {
            CustomPriceDialog dialog(entry);
            QCOMPARE(child<QDoubleSpinBox>(dialog, "priceSpin")->value(), 8.59);
            QCOMPARE(dialog.price(), 9.99);
        }

        // A price in yen far above 999999 is shown whole and stays whole;
        // larger yen prices can still be typed.
        useCurrency(QStringLiteral("JPY"), 160.0);
        entry.customPriceEur = 20000.0;
        {
            CustomPriceDialog dialog(entry);
            auto *spin = child<QDoubleSpinBox>(dialog, "priceSpin");
            QVERIFY(qAbs(spin->value() - 3200000.0) < 0.01);
            QCOMPARE(dialog.price(), 20000.0);
            spin->setValue(4800000.0);
            QVERIFY(qAbs(dialog.price() - 30000.0) < 1e-6);
        }
    }

    void customPriceClearsAndLooksUp()
    {
        CardEntry entry = charizard();
        entry.name = QStringLiteral("Farfetch'd & Mr. Mime +");
        {
            CustomPriceDialog dialog(entry);
            QVERIFY(!dialog.findChild<QPushButton *>(QStringLiteral("clearButton"))->isEnabled());
            QCOMPARE(dialog.price(), 0.0);
        }
        entry.customPriceEur = 4.5;
        CustomPriceDialog dialog(entry);
        auto *clear = dialog.findChild<QPushButton *>(QStringLiteral("clearButton"));
        QCOMPARE(clear->text(), QStringLiteral("Clear Custom Price"));
        QVERIFY(clear->isEnabled());
        clear->click();
        QCOMPARE(child<QDoubleSpinBox>(dialog, "priceSpin")->value(), 0.0);
        QVERIFY(dialog.isVisible() == false && dialog.result() == 0);
        QCOMPARE(dialog.price(), 0.0);

        UrlRecorder recorder;
        QDesktopServices::setUrlHandler(QStringLiteral("https"), &recorder, "open");
        child<QPushButton>(dialog, "lookupButton")->click();
        QDesktopServices::unsetUrlHandler(QStringLiteral("https"));
        QCOMPARE(recorder.urls.size(), 1);
        const QUrl url = recorder.urls.first();
        QCOMPARE(url.path(), QStringLiteral("/pokemon-prices"));
        QCOMPARE(QUrlQuery(url).queryItemValue(QStringLiteral("search"), QUrl::FullyDecoded), entry.name);
        QVERIFY(url.toEncoded().contains("%2B"));
    }

    void duplicateRefusesIdenticalLinesAndPricesTheCopy()
    {
        CardEntry source = charizard();
        source.notes = QStringLiteral("binder 2");
        CardEntry played = source;
        played.condition = Condition::Played;
        DuplicateCardDialog dialog(source, {entryKey(source), entryKey(played)});
        QCOMPARE(dialog.windowTitle(), QStringLiteral("Duplicate Card"));
        QCOMPARE(child<QLabel>(dialog, "sourceLabel")->text(),
                 QStringLiteral("New copy of Charizard (4/102), which is currently Holo."));
        QCOMPARE(okButton(dialog)->text(), QStringLiteral("Duplicate"));
        QCOMPARE(child<QLineEdit>(dialog, "notesEdit")->text(), QStringLiteral("binder 2"));
        auto *message = child<QLabel>(dialog, "messageLabel");
        const QString identical =
            QStringLiteral("Change the condition, the grade or the printing: identical copies are one line with a count.");
        QCOMPARE(message->text(), identical);
        QVERIFY(!okButton(dialog)->isEnabled());

        // Count and notes alone do not make another line.
        child<QSpinBox>(dialog, "countSpin")->setValue(3);
        child<QLineEdit>(dialog, "notesEdit")->setText(QStringLiteral("spare"));
        dialog.validate();
        QCOMPARE(message->text(), identical);
        QVERIFY(!okButton(dialog)->isEnabled());

        auto *condition = child<QComboBox>(dialog, "conditionCombo");
        condition->setCurrentIndex(condition->findData(int(Condition::Played)));
        QCOMPARE(message->text(), QStringLiteral("The collection already holds a line for this printing and condition."));
        QVERIFY(!okButton(dialog)->isEnabled());

        condition->setCurrentIndex(condition->findData(int(Condition::Excellent)));
        QVERIFY(message->text().isEmpty());
        QVERIFY(okButton(dialog)->isEnabled());
        CardEntry copy = dialog.entry();
        QCOMPARE(copy.condition, Condition::Excellent);
        QCOMPARE(copy.count, 3);
        QCOMPARE(copy.notes, QStringLiteral("spare"));
        QVERIFY(!copy.printLabel);
        // Same printing: the prices come along.
        QCOMPARE(copy.unitValueEur, 200.0);
        QCOMPARE(copy.priceUpdated, source.priceUpdated);

        // Another finish starts unpriced.
        auto *finish = child<QComboBox>(dialog, "finishCombo");
        const int other = finish->findData(QStringLiteral("normal"));
        QVERIFY(other >= 0);
        finish->setCurrentIndex(other);
        copy = dialog.entry();
        QCOMPARE(copy.unitValueEur, 0.0);
        QCOMPARE(copy.unitValueUsd, 0.0);
        QCOMPARE(copy.customPriceEur, 0.0);
        QVERIFY(copy.priceUpdated.isNull());
    }

    void duplicateGradeFieldAndMultiplier()
    {
        test::setSetting(QStringLiteral("valuation/gradeMultipliers/PSA_10"), 2.5);
        test::setSetting(QStringLiteral("valuation/gradeMultipliers/PSA_9"), 1.5);
        CardEntry source = charizard();
        source.gradeCompany = GradingCompany::PSA;
        source.gradeNote = QStringLiteral("10");
        source.unitValueEur = 250.0;  // 100 raw, times 2.5
        source.unitValueUsd = 275.0;
        DuplicateCardDialog dialog(source, {entryKey(source)});
        auto *grade = child<QLineEdit>(dialog, "gradeEdit");
        QVERIFY(grade->isEnabled());
        QCOMPARE(grade->placeholderText(), QStringLiteral("10, 9.5, ..."));

        grade->setText(QStringLiteral(" 9 "));
        CardEntry copy = dialog.entry();
        QCOMPARE(copy.gradeNote, QStringLiteral("9"));
        QVERIFY(qAbs(copy.unitValueEur - 150.0) < 1e-9);
        QVERIFY(qAbs(copy.unitValueUsd - 165.0) < 1e-9);
        QVERIFY(okButton(dialog)->isEnabled());

        auto *grading = child<QComboBox>(dialog, "gradingCombo");
        grading->setCurrentIndex(grading->findData(int(GradingCompany::None)));
        QVERIFY(!grade->isEnabled());
        copy = dialog.entry();
        QVERIFY(copy.gradeNote.isEmpty());
        QCOMPARE(copy.gradeCompany, GradingCompany::None);
        QVERIFY(qAbs(copy.unitValueEur - 100.0) < 1e-9);
    }

    void duplicateKeepsAFinishTheCardDataDoesNotOffer()
    {
        CardEntry source = charizard();
        source.variant = QStringLiteral("unusual-finish");
        source.edition = QStringLiteral("odd-edition");
        {
            DuplicateCardDialog dialog(source, {});
            auto *finish = child<QComboBox>(dialog, "finishCombo");
            QCOMPARE(finish->currentData().toString(), QStringLiteral("unusual-finish"));
            QCOMPARE(finish->itemData(finish->count() - 1).toString(), QStringLiteral("unusual-finish"));
            auto *edition = child<QComboBox>(dialog, "editionCombo");
            QCOMPARE(edition->currentData().toString(), QStringLiteral("odd-edition"));
            QVERIFY(edition->isEnabled());
        }
        source.variant.clear();
        DuplicateCardDialog dialog(source, {});
        auto *finish = child<QComboBox>(dialog, "finishCombo");
        QCOMPARE(finish->currentIndex(), 0);
        QCOMPARE(finish->currentText(), QStringLiteral("Not stated"));
        QVERIFY(finish->currentData().toString().isEmpty());
    }
};

PV_REGISTER_TEST(CardCopyDialogsTest)
#include "CardCopyDialogsTest.moc"
