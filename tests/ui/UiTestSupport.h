#pragma once

#include "Fixtures.h"
#include "TestSupport.h"

#include "ui/ThemeManager.h"
#include "ui/widgets/CollectionTreeView.h"

#include <QAbstractItemModel>
#include <QApplication>
#include <QPaintEvent>
#include <QPalette>
#include <QRegion>
#include <QModelIndex>
#include <QString>
#include <QStringList>
#include <QTest>

// Model walks the window suites share, with the fixtures of common/Fixtures.h.
namespace pv::test {

// The display texts of a column over the rows under parent.
inline QStringList columnTexts(const QAbstractItemModel &model, const QModelIndex &parent, int column = 0)
{
    QStringList texts;
    for (int row = 0; row < model.rowCount(parent); ++row)
        texts.append(model.index(row, column, parent).data().toString());
    return texts;
}

// The collection tree view's two ways (its record of rows, the public
// interface it keeps to on another Qt): a suite whose initTestCase_data()
// is treeViewWays() runs each test both ways, a TreeViewWay in its fixture.
inline void treeViewWays()
{
    QTest::addColumn<bool>("layoutRecord");
    QTest::newRow("layout record") << true;
    QTest::newRow("public interface") << false;
}

class TreeViewWay
{
public:
    TreeViewWay()
    {
        QFETCH_GLOBAL(bool, layoutRecord);
        CollectionTreeView::setLayoutRecordUsed(layoutRecord);
    }

private:
    AtScopeEnd m_restore{[] { CollectionTreeView::setLayoutRecordUsed(true); }};
};

// The program's default theme, as it always runs, while the scope lasts;
// the style sheet and palette before it afterwards.
class DefaultTheme
{
public:
    DefaultTheme() { ThemeManager::applyTheme(qApp, ThemeManager::defaultThemeName()); }

private:
    AtScopeEnd m_restore{[sheet = qApp->styleSheet(), palette = QApplication::palette()] {
        qApp->setStyleSheet(sheet);
        QApplication::setPalette(palette);
    }};
};

// Collects the regions a widget paints.
class PaintProbe : public QObject
{
public:
    QRegion painted;
    int paints = 0;

protected:
    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() == QEvent::Paint) {
            painted += static_cast<QPaintEvent *>(event)->region();
            ++paints;
        }
        return false;
    }
};

} // namespace pv::test
