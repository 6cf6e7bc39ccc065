// Draw-object editor.
#include "workspace/TF_EditDrawObject.h"
#include "workspace/FormLook.h"

#include "platform/Dialogs.h"
#include "shell/TColorPickerButton.h"
#include "shell/TF_Main.h"
#include "shell/TPageControlEx.h"
#include "workspace/TF_SMDI.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>
#include <QShowEvent>
#include <QSpinBox>
#include <QStyledItemDelegate>

QPointer<TF_EditDrawObject> F_EditDrawObject;

TF_EditDrawObject* EditDrawObjectForm()
{
    if (!F_EditDrawObject)
        F_EditDrawObject = new TF_EditDrawObject(F_Main);
    return F_EditDrawObject;
}

namespace {

constexpr int TipPictureWidth = 60;
constexpr int TipPictureHeight = 16;
constexpr int ListItemHeight = 20;

// A horizontal shaft ending at the right in the end type, as the image window draws it.
QPixmap tipPicture(int type)
{
    QPixmap pm(TipPictureWidth, TipPictureHeight);
    pm.fill(Qt::white);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(Qt::black, 2));
    const int y = TipPictureHeight / 2, end = TipPictureWidth - 8;
    p.drawLine(4, y, end, y);
    switch (type) {
    case 1:
        p.setBrush(Qt::black);
        p.drawEllipse(QPoint(end, y), 4, 4);
        break;
    case 2:
        p.drawLine(end, y - 5, end, y + 5);
        break;
    case 3:
        p.drawLine(end, y, end - 8, y - 5);
        p.drawLine(end, y, end - 8, y + 5);
        break;
    default:
        break;
    }
    return pm;
}

// The lists' items are drawn by the form.
class TipDelegate : public QStyledItemDelegate {
public:
    explicit TipDelegate(TF_EditDrawObject* form)
        : QStyledItemDelegate(form)
        , m_form(form)
    {
    }
    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override
    {
        m_form->CB_TipDrawItem(painter, option.rect, index.row());
    }
    QSize sizeHint(const QStyleOptionViewItem&, const QModelIndex&) const override
    {
        return {TipPictureWidth + 2, ListItemHeight};
    }

private:
    TF_EditDrawObject* m_form;
};

QSpinBox* spinEdit(QWidget* parent, int lo, int hi, QRect at)
{
    auto* e = new QSpinBox(parent);
    e->setRange(lo, hi);
    e->setGeometry(at);
    return e;
}

QLabel* label(QWidget* parent, const QString& text, QRect at, QWidget* buddy)
{
    auto* l = new QLabel(text, parent);
    l->setGeometry(at);
    l->setBuddy(buddy);
    return l;
}

} // namespace

TF_EditDrawObject::TF_EditDrawObject(QWidget* parent)
    : QDialog(parent, Qt::Tool | Qt::WindowStaysOnTopHint)
{
    setWindowTitle(QStringLiteral("Edit Object"));
    giveWayToQuestions(this);
    setModal(false);
    setFixedSize(210, 231);
    UseSmallDialogLook(this);

    for (int i = 0; i < 4; ++i)
        IL_Tips << tipPicture(i);

    PCE = new TPageControlEx(this);
    PCE->setGeometry(0, 0, 210, 195);
    TSS_Arrow = new QWidget;
    TSS_Rectangle = new QWidget;
    PCE->addTab(TSS_Arrow, QStringLiteral("Arrow"));
    PCE->addTab(TSS_Rectangle, QStringLiteral("Rectangle"));
    PCE->setTabVisible(0, false);
    PCE->setTabVisible(1, false);

    // Arrow page.
    QWidget* a = TSS_Arrow;
    E_ArrowCaption = new QLineEdit(a);
    E_ArrowCaption->setGeometry(8, 22, 194, 22);
    label(a, QStringLiteral("Caption"), {8, 6, 120, 14}, E_ArrowCaption);
    auto endList = [this, a](int y) {
        auto* cb = new QComboBox(a);
        cb->setGeometry(8, y, 80, 24);
        cb->setIconSize(QSize(TipPictureWidth, TipPictureHeight));
        for (int i = 0; i < 4; ++i)
            cb->addItem(QIcon(IL_Tips[i]), QString());
        cb->setItemDelegate(new TipDelegate(this));
        return cb;
    };
    CB_Base = endList(66);
    label(a, QStringLiteral("Base"), {8, 50, 80, 14}, CB_Base);
    SE_BaseSize = spinEdit(a, 1, 2000, {120, 66, 82, 24});
    label(a, QStringLiteral("Size"), {120, 50, 80, 14}, SE_BaseSize);
    CB_Tip = endList(110);
    label(a, QStringLiteral("Tip"), {8, 94, 80, 14}, CB_Tip);
    SE_TipSize = spinEdit(a, 1, 2000, {120, 110, 82, 24});
    label(a, QStringLiteral("Size"), {120, 94, 80, 14}, SE_TipSize);
    SE_Width = spinEdit(a, 1, 20, {8, 156, 80, 24});
    label(a, QStringLiteral("Line width"), {8, 140, 100, 14}, SE_Width);
    CPB_Color = new TColorPickerButton(a);
    CPB_Color->setGeometry(120, 156, 60, 24);
    label(a, QStringLiteral("Color"), {120, 140, 80, 14}, CPB_Color);

    connect(E_ArrowCaption, &QLineEdit::textChanged, this, &TF_EditDrawObject::SE_WidthChange);
    for (QComboBox* cb : {CB_Base, CB_Tip})
        connect(cb, &QComboBox::currentIndexChanged, this, &TF_EditDrawObject::SE_WidthChange);
    for (QSpinBox* e : {SE_BaseSize, SE_TipSize, SE_Width})
        connect(e, &QSpinBox::valueChanged, this, &TF_EditDrawObject::SE_WidthChange);
    connect(CPB_Color, &TColorPickerButton::colorChanged, this, &TF_EditDrawObject::SE_WidthChange);

    // Rectangle page.
    QWidget* r = TSS_Rectangle;
    SE_R_LineWidth = spinEdit(r, 1, 20, {8, 22, 80, 24});
    label(r, QStringLiteral("Line width"), {8, 6, 100, 14}, SE_R_LineWidth);
    CPB_R_PenColor = new TColorPickerButton(r);
    CPB_R_PenColor->setGeometry(8, 68, 60, 24);
    label(r, QStringLiteral("Pen Color"), {8, 52, 90, 14}, CPB_R_PenColor);
    CPB_R_BrushColor = new TColorPickerButton(r);
    CPB_R_BrushColor->setGeometry(110, 68, 60, 24);
    label(r, QStringLiteral("Brush Color"), {110, 52, 90, 14}, CPB_R_BrushColor);
    CB_R_Transparent = new QCheckBox(QStringLiteral("Transparent"), r);
    CB_R_Transparent->setGeometry(8, 104, 150, 19);

    connect(SE_R_LineWidth, &QSpinBox::valueChanged, this, &TF_EditDrawObject::SE_R_LineWidthChange);
    for (TColorPickerButton* b : {CPB_R_PenColor, CPB_R_BrushColor})
        connect(b, &TColorPickerButton::colorChanged, this, &TF_EditDrawObject::SE_R_LineWidthChange);
    connect(CB_R_Transparent, &QCheckBox::toggled, this, &TF_EditDrawObject::SE_R_LineWidthChange);

    B_Ok = new QPushButton(QStringLiteral("&Ok"), this);
    B_Ok->setGeometry(67, 200, 75, 25);
    B_Ok->setDefault(true);
    connect(B_Ok, &QPushButton::clicked, this, &TF_EditDrawObject::B_OkClick);
}

void TF_EditDrawObject::Edit(TDrawObject* object)
{
    ADO = object;
    if (isVisible()) {
        FormShow();
        raise();
        activateWindow();
    } else {
        show();
    }
}

void TF_EditDrawObject::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    if (!event->spontaneous())
        FormShow();
}

void TF_EditDrawObject::FormShow()
{
    PCE->setTabVisible(0, false);
    PCE->setTabVisible(1, false);
    Updating = true;
    if (auto* arrow = dynamic_cast<TArrow*>(ADO.get())) {
        HelpContext = 5007;
        PCE->setCurrentWidget(TSS_Arrow);
        SE_Width->setValue(arrow->Width);
        CPB_Color->setColor(arrow->Color);
        CB_Tip->setCurrentIndex(arrow->TipType);
        CB_Base->setCurrentIndex(arrow->BaseType);
        SE_TipSize->setValue(arrow->TipWidth);
        SE_BaseSize->setValue(arrow->BaseWidth);
        E_ArrowCaption->setText(arrow->caption);
        E_ArrowCaption->setFocus();
    } else if (auto* rect = dynamic_cast<TRectangle*>(ADO.get())) {
        HelpContext = 5008;
        PCE->setCurrentWidget(TSS_Rectangle);
        CPB_R_PenColor->setColor(rect->PColor);
        CPB_R_BrushColor->setColor(rect->BColor);
        SE_R_LineWidth->setValue(rect->PWidth);
        CB_R_Transparent->setChecked(rect->Transparent);
        SE_R_LineWidth->setFocus();
    }
    Updating = false;
}

void TF_EditDrawObject::SE_WidthChange()
{
    if (Updating)
        return;
    auto* arrow = dynamic_cast<TArrow*>(ADO.get());
    if (!arrow)
        return;
    arrow->Width = SE_Width->value();
    arrow->Color = CPB_Color->color();
    // A list without a selection reads as no end mark rather than as a wrapped byte.
    arrow->TipType = quint8(std::max(0, CB_Tip->currentIndex()));
    arrow->BaseType = quint8(std::max(0, CB_Base->currentIndex()));
    arrow->TipWidth = SE_TipSize->value();
    arrow->BaseWidth = SE_BaseSize->value();
    arrow->caption = E_ArrowCaption->text();
    repaintOwner();
}

void TF_EditDrawObject::SE_R_LineWidthChange()
{
    if (Updating)
        return;
    auto* rect = dynamic_cast<TRectangle*>(ADO.get());
    if (!rect)
        return;
    rect->PColor = CPB_R_PenColor->color();
    rect->BColor = CPB_R_BrushColor->color();
    rect->PWidth = SE_R_LineWidth->value();
    rect->Transparent = CB_R_Transparent->isChecked();
    repaintOwner();
}

void TF_EditDrawObject::repaintOwner()
{
    if (auto* f = qobject_cast<TF_SMDI*>(ADO->MDIForm.data()))
        f->SmoothDraw(false);
}

void TF_EditDrawObject::CB_TipDrawItem(QPainter* painter, const QRect& rect, int index)
{
    painter->fillRect(rect.adjusted(-1, -1, 1, 1), Qt::white);
    if (index >= 0 && index < IL_Tips.size())
        painter->drawPixmap(rect.topLeft() + QPoint(1, 1), IL_Tips[index]);
}

void TF_EditDrawObject::B_OkClick()
{
    close();
}
