// Path properties dialog.
#include "workspace/TF_EditPathProps.h"

#include "project/TJEXObject.h"
#include "workspace/OkCancelButtons.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

TF_EditPathProps::TF_EditPathProps(QWidget* parent)
    : QDialog(parent)
{
    setWindowTitle(QStringLiteral("Edit Path Properties"));

    GB_Properties = new QGroupBox(QStringLiteral("Properties"), this);
    LE_Name = new QLineEdit(GB_Properties);
    CB_Visible = new QCheckBox(QStringLiteral("Visible"), GB_Properties);
    M_Comment = new QPlainTextEdit(GB_Properties);
    CB_Pith = new QCheckBox(QStringLiteral("Pith"), GB_Properties);

    auto* form = new QVBoxLayout(GB_Properties);
    form->addWidget(new QLabel(QStringLiteral("Name"), GB_Properties));
    form->addWidget(LE_Name);
    form->addWidget(CB_Visible);
    form->addWidget(new QLabel(QStringLiteral("Comment"), GB_Properties));
    form->addWidget(M_Comment);
    form->addWidget(CB_Pith);

    QHBoxLayout* buttons = makeOkCancelRow(this, B_Ok, B_Cancel);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(GB_Properties);
    layout->addLayout(buttons);
}

TF_EditPathProps::~TF_EditPathProps() = default;

void TF_EditPathProps::LoadFrom(const TPath& path)
{
    LE_Name->setText(path.Name);
    CB_Visible->setChecked(path.visible);
    M_Comment->setPlainText(path.Comment);
    CB_Pith->setChecked(path.Pith);
}

void TF_EditPathProps::StoreTo(TPath& path) const
{
    path.Name = LE_Name->text();
    path.visible = CB_Visible->isChecked();
    path.Comment = M_Comment->toPlainText();
    path.Pith = CB_Pith->isChecked();
}
