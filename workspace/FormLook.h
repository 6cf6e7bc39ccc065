// The look of the small image-window dialogs: a white ground and the 11-pixel dialog font.
#pragma once

#include <QFont>
#include <QPalette>
#include <QWidget>

inline void UseSmallDialogLook(QWidget* form)
{
    QPalette pal = form->palette();
    pal.setColor(QPalette::Window, Qt::white);
    form->setPalette(pal);
    form->setAutoFillBackground(true);
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPixelSize(11);
    form->setFont(font);
}
