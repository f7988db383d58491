#pragma once

#include <QByteArray>
#include <QString>

class QIODevice;

namespace pv {

// Writes every byte to the device, in as many calls as it takes. A file on a
// full disk takes fewer bytes than it is given without reporting an error;
// that, like any failed write, returns false with the reason in *reason.
bool writeFully(QIODevice &device, const QByteArray &bytes, QString *reason = nullptr);

// Where a file replacement stopped.
enum class SaveStep { Done, Open, Write, Commit };

// Replaces the file at path with the bytes, through a temporary file beside
// it (named by saveTemporaryPath) that takes the old file's place only once
// every byte is on the disk. On failure the old file is left exactly as it
// was, the temporary file is gone and *reason says why.
SaveStep replaceFileContents(const QString &path, const QByteArray &bytes, QString *reason = nullptr);

// A fresh name for the temporary file of a save of path: path, the program's
// own mark, eight hexadecimal digits and ".tmp".
QString saveTemporaryPath(const QString &path);

// Leftovers younger than this may belong to a save still running elsewhere.
inline constexpr qint64 StaleLeftoverSeconds = 600;

// The name of the file whose interrupted save left fileName behind; empty
// when fileName is no temporary file of a save (only names made by
// saveTemporaryPath are, never a name of the user's choosing).
QString saveLeftoverBase(const QString &fileName);

// Removes the leftovers of earlier saves of path that are at least
// minimumAgeSeconds old. Returns how many were removed.
int removeSaveLeftovers(const QString &path, qint64 minimumAgeSeconds = StaleLeftoverSeconds);

} // namespace pv
