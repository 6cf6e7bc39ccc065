// Colour button over the toolkit's colour dialog.
#include "shell/TColorPickerButton.h"

#include <QColorDialog>
#include <QPainter>
#include <QPixmap>

TColorPickerButton::TColorPickerButton(QWidget* parent)
    : QToolButton(parent)
{
    setIconSize(QSize(40, 14));
    setToolButtonStyle(Qt::ToolButtonIconOnly);
    connect(this, &QToolButton::clicked, this, &TColorPickerButton::pick);
    updateSwatch();
}

std::function<std::optional<QColor>(const QColor&, QWidget*)>& TColorPickerButton::chooser()
{
    static std::function<std::optional<QColor>(const QColor&, QWidget*)> choose =
        [](const QColor& current, QWidget* parent) -> std::optional<QColor> {
        const QColor c = QColorDialog::getColor(current, parent);
        if (!c.isValid())
            return std::nullopt;
        return c;
    };
    return choose;
}

QColor TColorPickerButton::toQColor(int color)
{
    return QColor(color & 0xFF, (color >> 8) & 0xFF, (color >> 16) & 0xFF);
}

int TColorPickerButton::fromQColor(const QColor& color)
{
    return color.red() | (color.green() << 8) | (color.blue() << 16);
}

void TColorPickerButton::setColor(int color)
{
    // Only the three colour bytes: the toolkit's system-colour numbers are not offered here.
    color &= 0x00FFFFFF;
    if (color == m_color)
        return;
    m_color = color;
    updateSwatch();
    emit colorChanged(m_color);
}

void TColorPickerButton::pick()
{
    if (const std::optional<QColor> c = chooser()(toQColor(m_color), this))
        setColor(fromQColor(*c));
}

void TColorPickerButton::updateSwatch()
{
    QPixmap pm(iconSize());
    pm.fill(toQColor(m_color));
    QPainter p(&pm);
    p.setPen(Qt::black);
    p.drawRect(pm.rect().adjusted(0, 0, -1, -1));
    p.end();
    setIcon(QIcon(pm));
}
