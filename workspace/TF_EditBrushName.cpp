// Name entry dialog.
#include "workspace/TF_EditBrushName.h"

#include "project/Helpers.h"
#include "workspace/OkCancelButtons.h"

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
    QHBoxLayout* buttons = makeOkCancelRow(this, B_Ok, B_Cancel);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(Label1);
    layout->addWidget(E_BrushName);
    layout->addLayout(buttons);

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
