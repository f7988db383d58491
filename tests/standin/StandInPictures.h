#pragma once

#include <QByteArray>
#include <QSize>
#include <QStringList>

// Pictures the stand-in's image host serves in place of the real artwork:
// flat images of the real sizes with their id written in, so a test can see
// which picture it got. Drawn with a built-in pixel font, so no font and no
// GUI application object are needed.
namespace pv::test {

// Sizes of the pictures on the live image host.
QSize cardPictureSize(bool highQuality);
QSize logoPictureSize();
QSize symbolPictureSize();

// The picture with each line of text centred on it, encoded in the format
// ("png", "jpg", "webp"); empty when Qt cannot write that format.
QByteArray renderPicture(const QSize &size, const QStringList &lines, const QByteArray &format);

} // namespace pv::test
