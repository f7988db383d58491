#include "TestRegistry.h"

#include "ui/widgets/SizeCachingDelegate.h"

#include <QStandardItemModel>
#include <QTableView>
#include <QTest>

using pv::SizeCachingDelegate;

// A delegate that measures each text of a column once.
class SizeCachingDelegateTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void measuresAsThePlainDelegateDoes()
    {
        QStandardItemModel model(3, 2);
        const QStringList texts{QStringLiteral("1"), QStringLiteral("Near Mint"), QStringLiteral("1")};
        for (int row = 0; row < texts.size(); ++row) {
            model.setItem(row, 0, new QStandardItem(texts.at(row)));
            model.setItem(row, 1, new QStandardItem(texts.at(row) + texts.at(row)));
        }
        QTableView view;
        view.setModel(&model);
        SizeCachingDelegate cached;
        QStyledItemDelegate plain;
        QStyleOptionViewItem option;
        option.initFrom(&view);
        option.widget = &view;
        const auto sameSizes = [&] {
            for (int row = 0; row < model.rowCount(); ++row)
                for (int column = 0; column < model.columnCount(); ++column)
                    if (cached.sizeHint(option, model.index(row, column))
                        != plain.sizeHint(option, model.index(row, column)))
                        return false;
            return true;
        };
        QVERIFY(sameSizes());
        // Another font measures again.
        option.font.setPointSize(option.font.pointSize() * 3);
        QVERIFY(sameSizes());
        model.item(0, 0)->setText(QStringLiteral("Lightly Played"));
        QVERIFY(sameSizes());
    }
};

PV_REGISTER_TEST(SizeCachingDelegateTest)
#include "SizeCachingDelegateTest.moc"
