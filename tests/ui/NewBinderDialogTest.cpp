#include "BinderFixtures.h"
#include "TestRegistry.h"

#include "catalog/DexIndex.h"
#include "catalog/TcgdexClient.h"
#include "collection/Binders.h"
#include "collection/Collection.h"
#include "ui/dialogs/NewBinderDialog.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSpinBox>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

#include <memory>

using namespace pv;

namespace {

template <typename T>
T *child(QObject &parent, const char *name)
{
    return parent.findChild<T *>(QString::fromLatin1(name));
}

// Selects the template of that name in the combo.
void chooseTemplate(NewBinderDialog &dialog, const QString &name)
{
    auto *combo = child<QComboBox>(dialog, "templateCombo");
    const int index = combo->findText(name);
    QVERIFY2(index > 0, qPrintable(name));
    combo->setCurrentIndex(index);
}

Binder builtin(const QString &name)
{
    for (const Binder &binder : builtinBinderTemplates()) {
        if (binder.name == name)
            return binder;
    }
    return Binder();
}

QString preview(NewBinderDialog &dialog)
{
    return child<QLabel>(dialog, "previewLabel")->text();
}

void tick(NewBinderDialog &dialog, const QString &rarity)
{
    auto *list = child<QListWidget>(dialog, "rarityList");
    const QList<QListWidgetItem *> items = list->findItems(rarity, Qt::MatchExactly);
    QCOMPARE(items.size(), 1);
    items.first()->setCheckState(Qt::Checked);
}

} // namespace

class NewBinderDialogTest : public QObject
{
    Q_OBJECT

    CardCatalog *m_catalog = nullptr;
    DexIndex *m_dex = nullptr;
    Collection *m_collection = nullptr;

private Q_SLOTS:
    void initTestCase()
    {
        m_catalog = test::loadFixtureCatalog(this, {QStringLiteral("Common"), QStringLiteral("Rare"),
                                                    QStringLiteral("Rare Holo"), QStringLiteral("Amazing Rare")});
        QVERIFY(m_catalog);
        m_dex = new DexIndex(nullptr, this);
        m_collection = new Collection(this);
        m_collection->addEntry(test::holdingOf(QStringLiteral("tst1-1"), 1, 3.0));
        m_collection->addEntry(test::holdingOf(QStringLiteral("tst1-8"), 2, 0.0));
    }

    void customCriteria()
    {
        NewBinderDialog dialog(m_catalog, m_dex, m_collection);
        QCOMPARE(preview(dialog), QStringLiteral("Choose at least one criterion."));
        QVERIFY(dialog.rules().isEmpty());

        // OK waits for a name and a criterion; typing a name does not start
        // the preview.
        QPushButton *ok = child<QDialogButtonBox>(dialog, "buttonBox")->button(QDialogButtonBox::Ok);
        QVERIFY(!ok->isEnabled());
        auto *timer = dialog.findChild<QTimer *>();
        child<QLineEdit>(dialog, "nameEdit")->setText(QStringLiteral("  Mine "));
        QVERIFY(!ok->isEnabled());
        QVERIFY(!timer || !timer->isActive());

        auto *series = child<QComboBox>(dialog, "serieCombo");
        auto *sets = child<QComboBox>(dialog, "setCombo");
        QCOMPARE(series->count(), 2);
        QCOMPARE(sets->count(), 3);
        series->setCurrentIndex(1);
        QVERIFY(ok->isEnabled());
        child<QLineEdit>(dialog, "nameEdit")->setText(QStringLiteral("   "));
        QVERIFY(!ok->isEnabled());
        child<QLineEdit>(dialog, "nameEdit")->setText(QStringLiteral("  Mine "));
        QVERIFY(ok->isEnabled());
        sets->setCurrentIndex(sets->findData(QStringLiteral("tst1")));
        QVERIFY(timer && timer->isActive());
        auto *dex = child<QSpinBox>(dialog, "dexSpin");
        QCOMPARE(dex->specialValueText(), QStringLiteral("Any"));
        dex->setValue(25);
        tick(dialog, QStringLiteral("Rare"));
        tick(dialog, QStringLiteral("Common"));
        QList<BinderRule> rules = dialog.rules();
        QCOMPARE(rules.size(), 1);
        QCOMPARE(rules.at(0).dexIds, QList<int>({25}));
        QCOMPARE(rules.at(0).setId, QStringLiteral("tst1"));
        QCOMPARE(rules.at(0).serieId, QStringLiteral("tst"));
        QCOMPARE(rules.at(0).rarities, QStringList({QStringLiteral("Common"), QStringLiteral("Rare")}));
        dex->setValue(0);
        QVERIFY(dialog.rules().at(0).dexIds.isEmpty());
        QTRY_COMPARE(preview(dialog), QStringLiteral("Matches 10 card(s) - you own 2"));

        const Binder first = dialog.binder();
        QCOMPARE(first.name, QStringLiteral("Mine"));
        QCOMPARE(first.rules, dialog.rules());
        QCOMPARE(first.topValue, 0);
        QVERIFY(!first.id.isEmpty());
        QVERIFY(dialog.binder().id != first.id);

        // Ticks survive a refill of the rarities for every rarity still listed.
        Q_EMIT m_catalog->raritiesLoaded(Language::English);
        QCOMPARE(dialog.rules().at(0).rarities, QStringList({QStringLiteral("Common"), QStringLiteral("Rare")}));
    }

    void templates()
    {
        NewBinderDialog dialog(m_catalog, m_dex, m_collection);
        auto *panel = child<QWidget>(dialog, "criteriaPanel");
        auto *hint = child<QLabel>(dialog, "templateHint");
        auto *name = child<QLineEdit>(dialog, "nameEdit");

        const QString valueName = QStringLiteral("360 Most Valuable Cards");
        chooseTemplate(dialog, valueName);
        QVERIFY(!panel->isEnabled());
        QVERIFY(!hint->isHidden());
        QVERIFY(hint->text().startsWith(QStringLiteral("\"360 Most Valuable Cards\" is built from the cards you own")));
        QCOMPARE(name->text(), valueName);
        Binder value = dialog.binder();
        QCOMPARE(value.topValue, 360);
        QVERIFY(value.rules.isEmpty());
        QCOMPARE(value.columns, builtin(valueName).columns);
        QCOMPARE(value.rows, builtin(valueName).rows);
        QCOMPARE(preview(dialog), QStringLiteral("You own 2 card(s) - fewer than the 360 this binder holds.\n"
                                                 "1 of them have no price yet - refresh prices for the ranking "
                                                 "to mean something."));
        QPushButton *ok = child<QDialogButtonBox>(dialog, "buttonBox")->button(QDialogButtonBox::Ok);
        QVERIFY(ok->isEnabled());
        child<QComboBox>(dialog, "templateCombo")->setCurrentIndex(0);
        QVERIFY(panel->isEnabled());
        QVERIFY(hint->isHidden());
        QCOMPARE(dialog.binder().topValue, 0);
        QVERIFY(!ok->isEnabled());

        const QString wotc = QStringLiteral("WotC Holos");
        chooseTemplate(dialog, wotc);
        QVERIFY(!panel->isEnabled());
        QVERIFY2(hint->text().contains(QStringLiteral("5 rule(s)")), qPrintable(hint->text()));
        QVERIFY(ok->isEnabled());
        QCOMPARE(dialog.binder().rules, builtin(wotc).rules);

        // Nine species: the form shows the first, then greys out; the
        // binder keeps all nine. Failed look-ups stop the wait.
        const QString eevee = QStringLiteral("Eeveelutions");
        chooseTemplate(dialog, eevee);
        QCOMPARE(child<QSpinBox>(dialog, "dexSpin")->value(), 133);
        QVERIFY(!panel->isEnabled());
        QVERIFY2(hint->text().contains(QStringLiteral("9 species")), qPrintable(hint->text()));
        const QList<BinderRule> nine = builtin(eevee).rules;
        QCOMPARE(dialog.binder().rules, nine);
        QCOMPARE(preview(dialog), QStringLiteral("Looking up 9 species..."));
        const QList<int> numbers = nine.at(0).dexIds;
        Q_EMIT m_dex->dexFailed(Language::English, numbers.at(0), QStringLiteral("offline"));
        QCOMPARE(preview(dialog), QStringLiteral("Looking up 8 species..."));
        for (int i = 1; i < numbers.size(); ++i)
            Q_EMIT m_dex->dexFailed(Language::English, numbers.at(i), QStringLiteral("offline"));
        QCOMPARE(preview(dialog), QStringLiteral("Matches 0 card(s) - you own 0"));

        // A one-rule template the form holds round-trips through it.
        chooseTemplate(dialog, QStringLiteral("Amazing Rares"));
        QVERIFY(panel->isEnabled());
        QVERIFY(hint->isHidden());
        QCOMPARE(child<QSpinBox>(dialog, "dexSpin")->value(), 0);
        QCOMPARE(dialog.binder().rules, builtin(QStringLiteral("Amazing Rares")).rules);

        // One whose rarity the catalog has not collected keeps its rule
        // until the user edits the criteria.
        const QString levelX = QStringLiteral("Level X");
        chooseTemplate(dialog, levelX);
        QCOMPARE(dialog.binder().rules, builtin(levelX).rules);
        QVERIFY(!dialog.binder().rules.at(0).rarities.isEmpty());
        tick(dialog, QStringLiteral("Common"));
        QCOMPARE(dialog.rules().size(), 1);
        QCOMPARE(dialog.rules().at(0).rarities, QStringList({QStringLiteral("Common")}));
    }

    // Rarities collected after the template was chosen are ticked as it
    // defines them, and the form then holds the template's rule.
    void templateRaritiesTickedOnceCollected()
    {
        TcgdexClient client;
        std::unique_ptr<CardCatalog> written(test::loadFixtureCatalog(nullptr, {}));
        QVERIFY(written);
        CardCatalog catalog(&client);
        QSignalSpy collected(&catalog, &CardCatalog::raritiesLoaded);
        catalog.ensureLoaded(Language::English);
        QVERIFY(!catalog.hasRarities(Language::English));

        NewBinderDialog dialog(&catalog, m_dex, m_collection);
        QCOMPARE(child<QLabel>(dialog, "rarityCaption")->text(), QStringLiteral("Rarities\n(not collected yet)"));
        QVERIFY(!child<QListWidget>(dialog, "rarityList")->isEnabled());
        const QString levelX = QStringLiteral("Level X");
        chooseTemplate(dialog, levelX);
        QCOMPARE(dialog.rules(), builtin(levelX).rules);

        QVERIFY(collected.wait(30000));
        QVERIFY(catalog.rarities(Language::English).contains(QStringLiteral("Rare Holo LV.X")));
        auto *list = child<QListWidget>(dialog, "rarityList");
        QVERIFY(list->isEnabled());
        QCOMPARE(list->findItems(QStringLiteral("Rare Holo LV.X"), Qt::MatchExactly).first()->checkState(),
                 Qt::Checked);
        // The form holds the rule now, so the user's edits count.
        child<QLineEdit>(dialog, "namePatternEdit")->setText(QStringLiteral("Lucario"));
        QCOMPARE(dialog.rules().size(), 1);
        QCOMPARE(dialog.rules().at(0).rarities, QStringList({QStringLiteral("Rare Holo LV.X")}));
        QCOMPARE(dialog.rules().at(0).name, QStringLiteral("Lucario"));
    }
};

PV_REGISTER_TEST(NewBinderDialogTest)
#include "NewBinderDialogTest.moc"
