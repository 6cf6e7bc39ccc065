// A colour button: shows its colour as a swatch and lets the user pick another in the toolkit's
// colour dialog. The colour is a TColor ($00BBGGRR), as the settings keep it.
#pragma once

#include <QColor>
#include <QToolButton>

#include <functional>
#include <optional>

class TColorPickerButton : public QToolButton {
    Q_OBJECT
public:
    explicit TColorPickerButton(QWidget* parent = nullptr);

    int color() const { return m_color; }
    void setColor(int color);

    // Asks for a colour starting from the current one; none when the user cancelled. The colour
    // dialog by default; tests put their own answer here.
    static std::function<std::optional<QColor>(const QColor& current, QWidget* parent)>& chooser();

    static QColor toQColor(int color);
    static int fromQColor(const QColor& color);

signals:
    void colorChanged(int color);

private:
    void pick();
    void updateSwatch();

    int m_color = 0;
};
