// Labels for a 5,000-card collection: building the label records, opening the
// label window (its summary and page count), one preview update (20 sheets)
// and the PDF export of every sheet, with the size of the file written.
// Reports figures only; the export runs through the window's own code.
#include "collection/Collection.h"
#include "collection/EntryKeys.h"
#include "collection/LabelSheet.h"
#include "ui/dialogs/DialogPrompts.h"
#include "ui/dialogs/LabelPreviewDialog.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QPrintPreviewWidget>
#include <QPushButton>
#include <QTemporaryDir>

#include <cstdio>
#include <memory>
#include <optional>

using namespace pv;

namespace {

constexpr int cardCount = 5000;

void report(const char *what, qint64 ms)
{
    std::printf("%-44s %7lld ms\n", what, static_cast<long long>(ms));
}

Collection *makeCollection()
{
    QList<CardEntry> entries;
    QList<SetRecord> sets;
    for (int s = 0; s < 50; ++s) {
        SetRecord set;
        set.id = QStringLiteral("set%1").arg(s);
        set.name = QStringLiteral("Expansion Number %1").arg(s);
        set.language = s % 5 == 0 ? Language::Japanese : Language::English;
        set.releaseDate = QDate(1999 + s % 25, 6, 1);
        sets.append(set);
    }
    // 2,500 holdings of two cards each, every fifth set Japanese.
    for (int i = 0; i < cardCount / 2; ++i) {
        const SetRecord &set = sets.at(i % sets.size());
        CardEntry e;
        e.lang = set.language;
        e.setId = set.id;
        e.cardId = QStringLiteral("%1-%2").arg(set.id).arg(i);
        e.localId = QString::number(i % 200 + 1);
        e.name = e.lang == Language::Japanese ? QStringLiteral("リザードンex") : QStringLiteral("Charizard ex");
        e.rarity = QStringLiteral("Double Rare");
        e.count = 2;
        e.printLabel = true;
        entries.append(e);
    }
    QHash<QString, SetRecord> setsByKey;
    for (const SetRecord &set : std::as_const(sets))
        setsByKey.insert(setKey(set.language, set.id), set);
    auto *collection = new Collection(nullptr);
    collection->replaceContents(entries, setsByKey, {}, {}, std::nullopt);
    return collection;
}

} // namespace

int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") && qEnvironmentVariableIsEmpty("DISPLAY"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QTemporaryDir dir;
    std::unique_ptr<Collection> collection(makeCollection());

    QElapsedTimer clock;
    clock.start();
    const QList<LabelRecord> records = labelRecordsForCollection(*collection);
    report("label records for 5,000 cards", clock.elapsed());

    clock.restart();
    LabelPreviewDialog dialog(records, std::nullopt);
    report("open the label window (summary, page count)", clock.elapsed());

    auto *preview = dialog.findChild<QPrintPreviewWidget *>(QStringLiteral("preview"));
    clock.restart();
    preview->updatePreview();
    report("one preview update (20 of 84 sheets)", clock.elapsed());

    const QString path = dir.filePath(QStringLiteral("labels.pdf"));
    DialogPrompts::setSaveFileName([&path](QWidget *, const QString &, const QString &, const QString &) {
        return path;
    });
    bool failed = false;
    DialogPrompts::setWarning([&failed](QWidget *, const QString &, const QString &text) {
        std::printf("export failed: %s\n", qPrintable(text));
        failed = true;
    });
    clock.restart();
    dialog.findChild<QPushButton *>(QStringLiteral("exportButton"))->click();
    report("export every sheet to PDF", clock.elapsed());
    DialogPrompts::reset();
    std::printf("%-44s %7d\n", "sheets", labelPageCount(int(records.size()), dialog.style().geometry));
    std::printf("%-44s %7.2f MB\n", "PDF size", QFileInfo(path).size() / 1048576.0);
    return failed ? 1 : 0;
}
