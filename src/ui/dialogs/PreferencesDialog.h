#pragma once

#include "core/ClockTimer.h"

#include <QDialog>
#include <QString>

#include <memory>

class QAbstractButton;

namespace Ui {
class PreferencesDialog;
}

namespace pv {

// The user's choices of theme (previewed live), English names for Japanese
// cards, display currency, price source, price basis and image cache folder.
// It only presents values: the caller fills it, runs it and applies what it
// reads back after OK. Cancel puts back the theme it opened with.
class PreferencesDialog : public QDialog
{
    Q_OBJECT
public:
    // How long the theme combo rests on a theme before it is previewed.
    static constexpr int PreviewPauseMs = 120;

    explicit PreferencesDialog(QWidget *parent = nullptr);
    ~PreferencesDialog() override;

    void setTheme(const QString &id);
    void setTranslateJapanese(bool on);
    void setCurrency(const QString &code);
    void setPriceSource(int id);
    void setPriceBasis(int id);
    void setImageCacheFolder(const QString &path);

    QString themeId() const;
    bool translateJapanese() const;
    QString currency() const;
    int priceSource() const;
    int priceBasis() const;
    // Trimmed, as typed; empty stands for the default location.
    QString imageCacheFolder() const;

    // Asks for the image cache folder on first start and stores it; asks
    // again when the folder cannot be created; Cancel stores the default.
    static void chooseImageCacheFolder(QWidget *parent);

private:
    void previewTheme();
    void revertPreview();
    void fitHeight(int atLeast);
    void restoreDefaults();
    void browseFolder();
    void onButtonClicked(QAbstractButton *button);

    std::unique_ptr<Ui::PreferencesDialog> m_ui;
    // The theme the application showed when the dialog was filled.
    QString m_theme;
    // The theme the application shows now, preview included.
    QString m_shownTheme;
    // The theme is previewed once the user pauses on it.
    ClockTimer m_previewTimer{PreviewPauseMs};
};

} // namespace pv
