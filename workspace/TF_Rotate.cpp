// Rotate dialog.
#include "workspace/TF_Rotate.h"
#include "workspace/FormLook.h"

#include "shell/TFloatEdit.h"

#include <QCheckBox>
#include <QEvent>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QShowEvent>
#include <QTimer>

TF_Rotate::TF_Rotate(QWidget* parent)
    : QDialog(parent, Qt::Tool)
{
    setWindowTitle(QStringLiteral("Rotate"));
    setFixedSize(197, 175);
    UseSmallDialogLook(this);

    GB_Angle = new QGroupBox(QStringLiteral("Angle"), this);
    GB_Angle->setGeometry(8, 4, 181, 112);
    const char* captions[] = {"90°", "180°", "270°", "Free"};
    QRadioButton** buttons[] = {&RB_90, &RB_180, &RB_270, &RB_Free};
    for (int i = 0; i < 4; ++i) {
        auto* b = new QRadioButton(QString::fromUtf8(captions[i]), GB_Angle);
        b->setGeometry(10, 18 + i * 22, 60, 19);
        *buttons[i] = b;
    }
    RB_90->setChecked(true);
    FE_Angle = new TFloatEdit(GB_Angle);
    FE_Angle->setGeometry(72, 83, 80, 21);
    FE_Angle->setDigits(2);
    FE_Angle->setMin(0);
    FE_Angle->setMax(359.9999);
    FE_Angle->setErrorMessage(TFloatEdit::NoText);
    FE_Angle->setValue(0);
    FE_Angle->installEventFilter(this);
    auto* degree = new QLabel(QString::fromUtf8("°"), GB_Angle);
    degree->setGeometry(156, 85, 12, 17);

    CB_Clockwise = new QCheckBox(QStringLiteral("Clockwise"), this);
    CB_Clockwise->setLayoutDirection(Qt::RightToLeft); // the text left of the box
    CB_Clockwise->setGeometry(8, 120, 90, 19);
    CB_Clockwise->setChecked(true);

    B_Ok = new QPushButton(QStringLiteral("&Ok"), this);
    B_Ok->setGeometry(16, 144, 75, 25);
    B_Ok->setDefault(true);
    B_Cancel = new QPushButton(QStringLiteral("&Cancel"), this);
    B_Cancel->setGeometry(106, 144, 75, 25);
    connect(B_Ok, &QPushButton::clicked, this, &QDialog::accept);
    connect(B_Cancel, &QPushButton::clicked, this, &QDialog::reject); // also Esc
}

void TF_Rotate::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    if (!event->spontaneous())
        if (QWidget* owner = parentWidget() ? parentWidget()->window() : nullptr)
            move(owner->geometry().center() - rect().center());
}

bool TF_Rotate::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == FE_Angle && event->type() == QEvent::FocusIn)
        FE_AngleEnter();
    return QDialog::eventFilter(watched, event);
}

void TF_Rotate::FE_AngleEnter()
{
    RB_Free->setChecked(true);
    // After the click that gave the focus has placed the cursor.
    QTimer::singleShot(0, FE_Angle, &QLineEdit::selectAll);
}
