#pragma once

#include "Fixtures.h"
#include "TestSupport.h"

#include "ui/ThemeManager.h"

#include <QAbstractItemModel>
#include <QApplication>
#include <QPaintEvent>
#include <QPalette>
#include <QRegion>
#include <QModelIndex>
#include <QString>
#include <QStringList>

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
