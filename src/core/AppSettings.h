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
    static void seedIfMissing();
};

} // namespace pv
