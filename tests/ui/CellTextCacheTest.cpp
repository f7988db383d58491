#include "TestRegistry.h"
#include "UiTestSupport.h"

#include "ui/ThemeManager.h"
#include "ui/widgets/CellTextCache.h"

#include <QApplication>
#include <QImage>
#include <QPainter>
#include <QPixmap>
#include <QStyle>
#include <QTest>
#include <QTreeView>

using namespace pv;

// A cell drawn with its text from the cache looks as the style draws it, in
// every theme and state, wherever in the view it lies.
class CellTextCacheTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void cleanup() { ThemeManager::applyTheme(qApp, ThemeManager::defaultThemeName()); }

    void cellsLookAsTheStyleDrawsThem()
    {
        struct Case
        {
            const char *name;
            QString text;
            int width;
            Qt::Alignment alignment;
            QStyle::State state;
            bool alternate;
            bool icon;
        };
        const QStyle::State on = QStyle::State_Enabled | QStyle::State_Active;
        const QString longName = QStringLiteral("Tapu Bulu GX Full Art Rainbow Secret Rare");
        const QList<Case> cases = {
            {"plain", QStringLiteral("Charizard"), 160, Qt::AlignLeft, on, false, false},
            {"alternate, right", QStringLiteral("1.234,56 \u20ac"), 90, Qt::AlignRight, on, true, false},
            {"elided", longName, 80, Qt::AlignLeft, on, false, false},
            {"cut, not elided", longName, 70, Qt::AlignLeft, on, false, false},
            {"selected", QStringLiteral("Near Mint"), 120, Qt::AlignLeft, on | QStyle::State_Selected, false, false},
            {"selected, window inactive", QStringLiteral("Near Mint"), 120, Qt::AlignLeft,
             QStyle::State_Enabled | QStyle::State_Selected, true, false},
            {"hovered, current", QStringLiteral("1st Ed. Holo"), 120, Qt::AlignHCenter,
             on | QStyle::State_MouseOver | QStyle::State_HasFocus, false, false},
            {"disabled", QStringLiteral("Common"), 120, Qt::AlignLeft, QStyle::State_None, false, false},
            {"picture", QStringLiteral("Base Set"), 140, Qt::AlignLeft, on | QStyle::State_Selected, false, true},
            {"other scripts", QStringLiteral("\u30ea\u30b6\u30fc\u30c9\u30f3 ex \u00e9\u00e8"), 150, Qt::AlignLeft, on,
             false, false},
        };
        QTreeView view;
        view.resize(400, 200);
        QPixmap picture(30, 20);
        picture.fill(Qt::darkCyan);
        for (const ThemeInfo &theme : ThemeManager::availableThemes()) {
            ThemeManager::applyTheme(qApp, theme.id);
            CellTextCache cache;
            for (const Case &c : cases) {
                QStyleOptionViewItem option;
                option.initFrom(&view);
                option.widget = &view;
                option.font = view.font();
                option.fontMetrics = view.fontMetrics();
                option.showDecorationSelected = true;
                option.text = c.text;
                option.features = QStyleOptionViewItem::HasDisplay;
                if (c.alternate)
                    option.features |= QStyleOptionViewItem::Alternate;
                if (c.icon) {
                    option.features |= QStyleOptionViewItem::HasDecoration;
                    option.icon = QIcon(picture);
                    option.decorationSize = picture.size();
                }
                option.state = c.state;
                option.displayAlignment = c.alignment | Qt::AlignVCenter;
                option.textElideMode = QByteArray(c.name).startsWith("cut") ? Qt::ElideNone : Qt::ElideRight;
                option.rect = QRect(0, 0, c.width, option.fontMetrics.height() + 6);
                QVERIFY(CellTextCache::takesCache(option));
                // Laid out at one place, drawn at another.
                QImage scratch(c.width, option.rect.height(), QImage::Format_ARGB32_Premultiplied);
                QPainter away(&scratch);
                cache.draw(&away, option, view.style());
                away.end();

                option.rect.moveTopLeft(QPoint(13, 7));
                const auto drawn = [&](bool cached) {
                    QImage image(200, 40, QImage::Format_ARGB32_Premultiplied);
                    image.fill(view.palette().base().color());
                    QPainter painter(&image);
                    painter.setPen(Qt::magenta);
                    if (cached)
                        cache.draw(&painter, option, view.style());
                    else
                        view.style()->drawControl(QStyle::CE_ItemViewItem, &option, &painter, &view);
                    return image;
                };
                const QImage expected = drawn(false);
                QVERIFY2(drawn(true) == expected, qPrintable(theme.id + QStringLiteral(": ") + c.name));
            }
        }
    }
};

PV_REGISTER_TEST(CellTextCacheTest)
#include "CellTextCacheTest.moc"
