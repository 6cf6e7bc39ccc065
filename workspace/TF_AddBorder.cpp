// Add-border dialog.
#include "workspace/TF_AddBorder.h"
#include "workspace/FormLook.h"

#include "shell/TColorPickerButton.h"

#include <QCheckBox>
#include <QLabel>
#include <QPushButton>
#include <QShowEvent>
#include <QSpinBox>

QPointer<TF_AddBorder> F_AddBorder;

TF_AddBorder::TF_AddBorder(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::WindowStaysOnTopHint)
{
    setWindowTitle(QStringLiteral("Add Border"));
    setFixedSize(219, 148);
    UseSmallDialogLook(this);

    const char* captions[] = {"Left", "Top", "Right", "Bottom"};
    QSpinBox** edits[] = {&SE_Left, &SE_Top, &SE_Right, &SE_Bottom};
    for (int i = 0; i < 4; ++i) {
        const int x = 8 + (i % 2) * 104;
        const int y = 8 + (i / 2) * 40;
        auto* label = new QLabel(QString::fromLatin1(captions[i]), this);
        label->setGeometry(x, y, 90, 14);
        auto* e = new QSpinBox(this);
        e->setRange(0, 9999);
        e->setGeometry(x, y + 15, 90, 22);
        label->setBuddy(e);
        *edits[i] = e;
    }
    CB_Symmetric = new QCheckBox(QStringLiteral("Symmetric"), this);
    CB_Symmetric->setGeometry(8, 90, 90, 19);
    auto* colorLabel = new QLabel(QStringLiteral("Color"), this);
    colorLabel->setGeometry(112, 91, 36, 17);
    CPB = new TColorPickerButton(this);
    CPB->setGeometry(150, 88, 60, 23);

    B_Ok = new QPushButton(QStringLiteral("&Ok"), this);
    B_Ok->setGeometry(30, 118, 75, 25);
    B_Ok->setDefault(true);
    B_Cancel = new QPushButton(QStringLiteral("&Cancel"), this);
    B_Cancel->setGeometry(114, 118, 75, 25);
    connect(B_Ok, &QPushButton::clicked, this, &QDialog::accept);
    connect(B_Cancel, &QPushButton::clicked, this, &QDialog::reject);

    connect(CB_Symmetric, &QCheckBox::clicked, this, &TF_AddBorder::CB_SymmetricClick);
    connect(SE_Left, &QSpinBox::valueChanged, this, &TF_AddBorder::SE_LeftChange);
}

void TF_AddBorder::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    if (!event->spontaneous())
        if (QWidget* owner = parentWidget() ? parentWidget()->window() : nullptr)
            move(owner->geometry().center() - rect().center());
}

void TF_AddBorder::CB_SymmetricClick()
{
    const bool symmetric = CB_Symmetric->isChecked();
    for (QSpinBox* e : {SE_Top, SE_Right, SE_Bottom}) {
        e->setEnabled(!symmetric);
        if (symmetric)
            e->setValue(SE_Left->value());
    }
}

void TF_AddBorder::SE_LeftChange()
{
    if (!CB_Symmetric->isChecked())
        return;
    for (QSpinBox* e : {SE_Top, SE_Right, SE_Bottom})
        e->setValue(SE_Left->value());
}
