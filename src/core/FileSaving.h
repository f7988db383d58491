#pragma once

#include <QByteArray>
#include <QString>

#include <functional>

class QFile;
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
// every byte is on the disk. The temporary file is readable by no one but
// the owner until it has every byte; it then takes the old file's mode (or
// the mode of a new file) before the rename, and the folder is synced after
// it. On failure the old file is left exactly as it was, the temporary file
// is gone and *reason says why; only when the folder cannot be synced is the
// new file already in place, and the save still counts as failed.
SaveStep replaceFileContents(const QString &path, const QByteArray &bytes, QString *reason = nullptr);

// Replaces a file that can be fetched or built again (a cache's) as
// replaceFileContents does, file and folder, old file kept on failure, but
// without waiting for the disk: neither the file nor its folder is synced. A
// power cut may lose or damage it; its readers then fetch it again.
SaveStep replaceCacheFile(const QString &path, const QByteArray &bytes, QString *reason = nullptr);

// A fresh name for the temporary file of a save of path: path, the program's
// own mark, eight hexadecimal digits and ".tmp". A file name too long for
// that is cut short and followed by "~" and a digest of the whole name, so
// that the temporary name fits the file system and still tells the saves of
// two long names apart.
QString saveTemporaryPath(const QString &path);

// Leftovers younger than this may belong to a save still running elsewhere.
inline constexpr qint64 StaleLeftoverSeconds = 600;

// The name of the file whose interrupted save left fileName behind (for a
// long name, its shortened form); empty when fileName is no temporary file of
// a save (only names made by saveTemporaryPath are, never a name of the
// user's choosing).
QString saveLeftoverBase(const QString &fileName);

// Removes the leftovers of earlier saves of path that are at least
// minimumAgeSeconds old, beside the file a link points to where path is one.
// Returns how many were removed.
int removeSaveLeftovers(const QString &path, qint64 minimumAgeSeconds = StaleLeftoverSeconds);

// Opens the file for reading when it is a regular file. A folder, a named
// pipe, a device or a socket is refused at once, without waiting for a
// writer, and *reason says what it is.
bool openRegularFile(QFile &file, QString *reason);

// The steps of a save, in their order, as a test sees them: the path is the
// temporary file's, then the target's, then its folder's.
enum class SaveEvent { Created, ModeSet, FileSynced, Renamed, FolderSynced };

// For tests: called at every step of every save; an empty function stops it.
void setSaveTraceForTests(std::function<void(SaveEvent, const QString &)> trace);

} // namespace pv
