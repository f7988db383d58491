#pragma once

#include "catalog/TcgdexClient.h"

#include <QBuffer>
#include <QByteArray>
#include <QColor>
#include <QPixmap>
#include <QSize>
#include <QString>

// Helpers shared by the tests of the card views, which read pictures through
// the card database client's image cache.
namespace pv::test {

// A plain picture of the size and colour.
inline QPixmap plainPicture(const QSize &size, const QColor &colour)
{
    QPixmap pixmap(size);
    pixmap.fill(colour);
    return pixmap;
}

// Puts a plain picture into the client's image cache under the address, as a
// finished download would; returns it.
inline QPixmap cachePicture(TcgdexClient &client, const QString &url, const QSize &size, const QColor &colour)
{
    const QPixmap pixmap = plainPicture(size, colour);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    pixmap.save(&buffer, "PNG");
    client.imageCache().store(url, bytes, pixmap);
    return pixmap;
}

} // namespace pv::test
