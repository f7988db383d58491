#pragma once

#include <QColor>
#include <QPushButton>

namespace pv {

// A push button showing a colour swatch and the colour's hex code; clicking
// it lets the user pick another colour.
class ColorButton : public QPushButton
{
    Q_OBJECT
public:
    explicit ColorButton(QWidget *parent = nullptr);
    ~ColorButton() override;

    QColor color() const { return m_color; }
    // Takes a valid colour that differs from the current one; emits nothing.
    void setColor(const QColor &color);

Q_SIGNALS:
    // Only when the user picked a new colour.
    void colorChanged(const QColor &color);

protected:
    void changeEvent(QEvent *event) override;

private:
    void chooseColor();
    void updateSwatch();

    QColor m_color;
};

} // namespace pv
