#pragma once

#include <QByteArray>
#include <QDir>
#include <QImage>
#include <QPixmap>
#include <QString>

namespace pv {

// Two-level store of downloaded artwork: Qt's process-wide pixmap cache in
// front, keyed by the image URL, and one file per URL on disk holding the
// bytes exactly as downloaded. The card database client owns the one instance;
// views read through it. GUI thread only, but for decodeImage and writeFile,
// which any thread may call.
class ImageCache
{
public:
    // Opens the folder in force, creating it when missing.
    ImageCache();

    // <local data folder>/imagecache, absolute.
    static QString defaultFolder();
    // The folder the user chose ("imageCache/directory"), else the default.
    static QString currentFolder();
    static bool hasCustomFolder();
    // Resolves and creates the folder and remembers it in the settings; a
    // blank path stands for the default folder. False when it cannot be created.
    static bool setFolder(const QString &path);

    // True for the names this cache gives its files: 40 lower-case hex
    // digits, a dot and a suffix. Nothing else in the folder is ever removed.
    static bool isCacheFileName(const QString &fileName);

    // The picture in the bytes, or a null pixmap when they do not hold a
    // whole picture: one cut short (its end marker missing) or one the
    // decoder warned about, which it would pad out with grey.
    static QPixmap decodePicture(const QByteArray &bytes, QString *problem = nullptr);
    // The same as an image, on any thread.
    static QImage decodeImage(const QByteArray &bytes, QString *problem = nullptr);

    QPixmap load(const QString &url) const;
    void store(const QString &url, const QByteArray &bytes, const QPixmap &pixmap);
    // The two halves of store: the picture kept in memory, and its bytes
    // written to the file for its address (on any thread).
    void remember(const QString &url, const QPixmap &pixmap);
    static void writeFile(const QString &path, const QString &url, const QByteArray &bytes);
    QString filePathFor(const QString &url) const;
    // Removes every picture and every temporary file an unfinished store left.
    void clear();
    bool changeFolder(const QString &path);

    const QDir &folder() const { return m_folder; }

private:
    // Temporary files of unfinished stores at least this old (0: all).
    int removeLeftovers(qint64 minimumAgeSeconds);

    QDir m_folder;
};

} // namespace pv
