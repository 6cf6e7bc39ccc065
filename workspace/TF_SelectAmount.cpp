// Amount dialog.
#include "workspace/TF_SelectAmount.h"

#include "shell/TThinTrackBar.h"

#include <QLabel>
#include <QPushButton>
#include <QShowEvent>

QPointer<TF_SelectAmount> F_SelectAmount;

TF_SelectAmount::TF_SelectAmount(QWidget* parent)
    : QDialog(parent, Qt::Dialog)
{
    setWindowTitle(QStringLiteral("Select amount"));
    setFixedSize(260, 100);
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPixelSize(11);
    setFont(font);

    TB_Amount = new TThinTrackBar(this);
    TB_Amount->setGeometry(8, 8, 244, 30);
    TB_Amount->setRange(1, 10);
    TB_Amount->setValue(1);
    auto* faint = new QLabel(QStringLiteral("Faint"), this);
    faint->setGeometry(10, 40, 60, 14);
    auto* strong = new QLabel(QStringLiteral("Strong"), this);
    strong->setGeometry(190, 40, 60, 14);
    strong->setAlignment(Qt::AlignRight);

    B_Apply = new QPushButton(QStringLiteral("Apply"), this);
    B_Apply->setGeometry(46, 66, 75, 25);
    B_Cancel = new QPushButton(QStringLiteral("&Cancel"), this);
    B_Cancel->setGeometry(138, 66, 75, 25);
    B_Cancel->setDefault(true);
    connect(B_Apply, &QPushButton::clicked, this, &QDialog::accept);
    connect(B_Cancel, &QPushButton::clicked, this, &QDialog::reject);
}

void TF_SelectAmount::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    if (!event->spontaneous())
        if (QWidget* owner = parentWidget() ? parentWidget()->window() : nullptr)
            move(owner->geometry().center() - rect().center());
}
