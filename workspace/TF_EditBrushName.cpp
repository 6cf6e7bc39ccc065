// Name entry dialog.
#include "workspace/TF_EditBrushName.h"

#include "project/Helpers.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QShowEvent>
#include <QVBoxLayout>

TF_EditBrushName::TF_EditBrushName(QWidget* parent)
    : QDialog(parent, Qt::Tool)
{
    setAutoFillBackground(true);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, Qt::white);
    setPalette(pal);

    Label1 = new QLabel(QStringLiteral("Enter name for brush set"), this);
    E_BrushName = new QLineEdit(this);
    B_Ok = new QPushButton(QStringLiteral("&Ok"), this);
    B_Cancel = new QPushButton(QStringLiteral("&Cancel"), this);
    B_Ok->setDefault(true);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(B_Ok);
    buttons->addWidget(B_Cancel);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(Label1);
    layout->addWidget(E_BrushName);
    layout->addLayout(buttons);

    connect(B_Ok, &QPushButton::clicked, this, &QDialog::accept);
    connect(B_Cancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(E_BrushName, &QLineEdit::textChanged, this, &TF_EditBrushName::E_BrushNameChange);
    E_BrushNameChange();
}

TF_EditBrushName::~TF_EditBrushName() = default;

void TF_EditBrushName::FormShow()
{
    setWindowTitle(ProgramVersionText());
    E_BrushNameChange();
}

void TF_EditBrushName::E_BrushNameChange()
{
    B_Ok->setEnabled(!E_BrushName->text().isEmpty());
}

void TF_EditBrushName::showEvent(QShowEvent* event)
{
    FormShow();
    QDialog::showEvent(event);
}
