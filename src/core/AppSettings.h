#pragma once

#include <QSettings>
#include <QString>

namespace pv {

// The one INI file of user preferences. Make one as a local object, read or
// write, and let it go: the destructor writes the file back.
class AppSettings : public QSettings
{
public:
    AppSettings();
    ~AppSettings() override;

    static QString filePath();
    // Copies "tallowk_prefs.ini" from beside the executable when the user has
    // no settings file yet.
    static void seedIfMissing();
    // The same, with the preset looked for in presetFolder.
    static void seedIfMissingFrom(const QString &presetFolder);
};

} // namespace pv
