// The resolution calibration wizard: three pages (start point, end point, real length) over an
// image window in the calibration modes, and the arithmetic from pixels and length to DPI.
#include "shell/TF_AdjustDPI.h"

#include "platform/Delphi.h"
#include "platform/Dialogs.h"
#include "project/Helpers.h"
#include "shell/TF_Main.h"
#include "shell/TFloatEdit.h"
#include "shell/TPageControlEx.h"
#include "workspace/TF_Measurements.h"
#include "workspace/TF_SMDI.h"

#include <QComboBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTreeView>
#include <QVBoxLayout>

#include <array>
#include <cmath>
#include <limits>

QPointer<TF_AdjustDPI> F_AdjustDPI;

namespace {

struct Unit {
    const char* text;
    double perInch;
};
constexpr std::array<Unit, 7> Units = {{
    {"cm", 2.54},
    {"mm", 25.4},
    {"1/10th mm", 254},
    {"1/100th mm", 2540},
    {"inch", 1},
    {"1/10th inch", 10},
    {"1/100 inch", 100},
}};

QLineEdit* readOnlyEdit(QWidget* parent)
{
    auto* e = new QLineEdit(parent);
    e->setReadOnly(true);
    e->setFixedWidth(90);
    return e;
}

} // namespace

double TF_AdjustDPI::UnitsPerInch(int index)
{
    if (index < 0 || index >= int(Units.size()))
        return 0;
    return Units[size_t(index)].perInch;
}

int TF_AdjustDPI::ComputeDPI(double pixels, double length, double unitsPerInch)
{
    if (!(length > 0) || !(pixels > 0) || !(unitsPerInch > 0))
        return 0;
    const double dpi = pixels / (length / unitsPerInch);
    if (!std::isfinite(dpi) || dpi >= double(std::numeric_limits<int>::max()))
        return std::numeric_limits<int>::max();
    return std::max(0, Round(dpi));
}

TF_AdjustDPI::TF_AdjustDPI(QWidget* parent)
    : QDialog(parent, Qt::Tool | Qt::WindowStaysOnTopHint | Qt::CustomizeWindowHint | Qt::WindowTitleHint)
{
    setWindowTitle(QStringLiteral("Adjust Image resolution"));
    setAutoFillBackground(true);
    QPalette white = palette();
    white.setColor(QPalette::Window, Qt::white);
    setPalette(white);

    auto* layout = new QVBoxLayout(this);
    PC_AdjustDPI = new TPageControlEx(this);
    layout->addWidget(PC_AdjustDPI);

    TS_DPI1 = page(QStringLiteral("Define the starting point of a known distance"));
    auto* form1 = static_cast<QFormLayout*>(TS_DPI1->layout()->itemAt(1)->layout());
    E_X1 = readOnlyEdit(TS_DPI1);
    E_Y1 = readOnlyEdit(TS_DPI1);
    form1->addRow(QStringLiteral("X-Coordinate:"), E_X1);
    form1->addRow(QStringLiteral("Y-Coordinate:"), E_Y1);

    TS_DPI2 = page(QStringLiteral("Define the end point for this  distance"));
    auto* form2 = static_cast<QFormLayout*>(TS_DPI2->layout()->itemAt(1)->layout());
    E_X2 = readOnlyEdit(TS_DPI2);
    E_Y2 = readOnlyEdit(TS_DPI2);
    E_Distance = readOnlyEdit(TS_DPI2);
    auto* distanceRow = new QHBoxLayout;
    distanceRow->addWidget(E_Distance);
    distanceRow->addWidget(new QLabel(QStringLiteral("pixels"), TS_DPI2));
    distanceRow->addStretch();
    form2->addRow(QStringLiteral("X-Coordinate:"), E_X2);
    form2->addRow(QStringLiteral("Y-Coordinate:"), E_Y2);
    form2->addRow(QStringLiteral("Distance:"), distanceRow);
    B_Back2 = new QPushButton(QStringLiteral("<< &Back"), TS_DPI2);
    B_Back2->setToolTip(QStringLiteral("Go back one step"));
    TS_DPI2->layout()->addWidget(B_Back2);

    TS_DPI3 = page(QStringLiteral("Enter the real world distance"));
    auto* form3 = static_cast<QFormLayout*>(TS_DPI3->layout()->itemAt(1)->layout());
    FE_Distance = new TFloatEdit(TS_DPI3);
    FE_Distance->setDigits(2);
    // Negative lengths are read as typed, so that they can be refused by name.
    FE_Distance->setMin(-99999999.9);
    FE_Distance->setFixedWidth(90);
    CB_units = new QComboBox(TS_DPI3);
    for (const Unit& u : Units)
        CB_units->addItem(QString::fromLatin1(u.text));
    auto* lengthRow = new QHBoxLayout;
    lengthRow->addWidget(FE_Distance);
    lengthRow->addWidget(CB_units);
    lengthRow->addStretch();
    form3->addRow(lengthRow);
    L_IRes = new QLabel(QStringLiteral("Image resolution:"), TS_DPI3);
    form3->addRow(L_IRes);
    auto* buttons3 = new QHBoxLayout;
    B_Back3 = new QPushButton(QStringLiteral("<< &Back"), TS_DPI3);
    B_Back3->setToolTip(QStringLiteral("Back one step"));
    B_Accept = new QPushButton(QStringLiteral("Accept new value"), TS_DPI3);
    buttons3->addWidget(B_Back3);
    buttons3->addStretch();
    buttons3->addWidget(B_Accept);
    static_cast<QVBoxLayout*>(TS_DPI3->layout())->addLayout(buttons3);

    B_Cancel = new QPushButton(QStringLiteral("&Cancel"), this);
    B_Cancel->setToolTip(QStringLiteral("Abort function"));
    auto* bottom = new QHBoxLayout;
    bottom->addStretch();
    bottom->addWidget(B_Cancel);
    layout->addLayout(bottom);

    // Enter belongs to the length box: no button takes it.
    for (QPushButton* b : {B_Accept, B_Back2, B_Back3, B_Cancel}) {
        b->setAutoDefault(false);
        b->setDefault(false);
    }
    for (QWidget* p : {TS_DPI1, TS_DPI2, TS_DPI3})
        static_cast<QVBoxLayout*>(p->layout())->addStretch();

    connect(B_Cancel, &QPushButton::clicked, this, &TF_AdjustDPI::B_CancelClick);
    connect(B_Back2, &QPushButton::clicked, this, &TF_AdjustDPI::B_Back2Click);
    connect(B_Back3, &QPushButton::clicked, this, &TF_AdjustDPI::B_Back3Click);
    connect(B_Accept, &QPushButton::clicked, this, &TF_AdjustDPI::B_AcceptClick);
    connect(PC_AdjustDPI, &TPageControlEx::currentChanged, this, &TF_AdjustDPI::PC_AdjustDPIChange);
    connect(CB_units, &QComboBox::currentIndexChanged, this, &TF_AdjustDPI::CB_unitsChange);
    connect(FE_Distance, &QLineEdit::textChanged, this, &TF_AdjustDPI::FE_DistanceChange);
    FE_Distance->installEventFilter(this);
    giveWayToQuestions(this);
    resize(330, 230);
}

QWidget* TF_AdjustDPI::page(const QString& heading)
{
    auto* p = new QWidget(PC_AdjustDPI);
    auto* v = new QVBoxLayout(p);
    auto* title = new QLabel(heading, p);
    QFont bold = title->font();
    bold.setBold(true);
    title->setFont(bold);
    v->addWidget(title);
    v->addLayout(new QFormLayout);
    const int index = PC_AdjustDPI->addTab(p, QString());
    PC_AdjustDPI->setTabVisible(index, false);
    return p;
}

void TF_AdjustDPI::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    if (F_Main) {
        QRect r = frameGeometry();
        r.moveCenter(F_Main->frameGeometry().center());
        move(r.topLeft());
    }
    FormShow();
}

void TF_AdjustDPI::FormShow()
{
    m_computed = false;
    CB_units->setCurrentIndex(0);
    PC_AdjustDPI->setCurrentWidget(TS_DPI1);
}

void TF_AdjustDPI::UpdateScreen()
{
    TF_SMDI* f = MDIForm;
    if (!f)
        return;
    const int mode = f->ScreenMode();
    if (mode == mmDPIPoint1)
        PC_AdjustDPI->setCurrentWidget(TS_DPI1);
    else if (mode == mmDPIPoint2)
        PC_AdjustDPI->setCurrentWidget(TS_DPI2);
    else if (mode == mmDPIDone)
        PC_AdjustDPI->setCurrentWidget(TS_DPI3);
    E_X1->setText(QString::number(f->DPI1.x()));
    E_Y1->setText(QString::number(f->DPI1.y()));
    E_X2->setText(QString::number(f->DPI2.x()));
    E_Y2->setText(QString::number(f->DPI2.y()));
    if (mode == mmDPIPoint2)
        E_Distance->setText(FloatToStrF(PointDistance(f->DPI1, f->DPI2), ffFixed, 4, 2));
    if (mode == mmDPIDone)
        calculate();
}

int TF_AdjustDPI::calculate()
{
    // Whatever was shown belongs to another length or other points.
    m_computed = false;
    L_IRes->clear();
    TF_SMDI* f = MDIForm;
    if (!f || FE_Distance->text().trimmed().isEmpty())
        return 0;
    const int dpi = ComputeDPI(PointDistance(f->DPI1, f->DPI2), FE_Distance->Value(),
                               UnitsPerInch(CB_units->currentIndex()));
    if (dpi <= 0)
        return 0; // refused by name when accepted
    MyDPI = dpi;
    m_computed = true;
    L_IRes->setText(QStringLiteral("Image resolution ") + QString::number(MyDPI) + QStringLiteral(" DPI"));
    return 0;
}

void TF_AdjustDPI::PC_AdjustDPIChange()
{
    L_IRes->clear();
}

void TF_AdjustDPI::CB_unitsChange()
{
    calculate();
}

void TF_AdjustDPI::FE_DistanceChange()
{
    // An emptied box shows no result any more, so it is computed then too.
    calculate();
}

void TF_AdjustDPI::FE_DistanceKeyDown(int Key)
{
    if (FE_Distance->text().isEmpty())
        return;
    if (Key == Qt::Key_Return || Key == Qt::Key_Enter)
        FE_Distance->selectAll();
    calculate();
}

bool TF_AdjustDPI::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == FE_Distance && event->type() == QEvent::KeyPress)
        FE_DistanceKeyDown(static_cast<QKeyEvent*>(event)->key());
    return QDialog::eventFilter(watched, event);
}

void TF_AdjustDPI::B_Back2Click()
{
    if (TF_SMDI* f = MDIForm) {
        f->ApplyScreenMode(mmDPIPoint1);
        PC_AdjustDPI->setCurrentWidget(TS_DPI1);
        f->SmoothDraw(true);
    }
}

void TF_AdjustDPI::B_Back3Click()
{
    if (TF_SMDI* f = MDIForm) {
        f->ApplyScreenMode(mmDPIPoint2);
        PC_AdjustDPI->setCurrentWidget(TS_DPI2);
        f->SmoothDraw(true);
    }
}

void TF_AdjustDPI::endCalibration()
{
    TF_SMDI* f = MDIForm;
    if (!f)
        return;
    f->ApplyScreenMode(mmSelect);
    if (F_Main)
        F_Main->SetScreenCursor();
    f->SmoothDraw(true);
}

void TF_AdjustDPI::B_CancelClick()
{
    endCalibration();
    hide();
}

void TF_AdjustDPI::reject()
{
    B_CancelClick();
}

void TF_AdjustDPI::B_AcceptClick()
{
    TF_SMDI* f = MDIForm;
    if (!f) {
        hide();
        return;
    }
    // Every distance divides by the resolution: none is taken that is not a positive number from
    // this calibration's two points and length.
    if (!m_computed) {
        QString why;
        if (f->DPI1 == f->DPI2)
            why = QStringLiteral("The two points are the same!\r\nClick both ends of a known distance.");
        else if (FE_Distance->text().trimmed().isEmpty() || FE_Distance->Value() <= 0)
            why = QStringLiteral("The real world distance must be greater than 0!");
        else
            why = QStringLiteral("The resolution would be less than 1 DPI!\r\nCheck the distance and its unit.");
        MessageDlg(why, mtError, TMsgDlgButtons{mbOK});
        return;
    }
    hide();
    f->DPI = MyDPI;
    endCalibration();
    f->SetCaption();
    if (F_Measurements && F_Measurements->VST)
        F_Measurements->VST->viewport()->update();
    ShowMessage(QStringLiteral("The DPI resolution was changed to ") + QString::number(f->DPI) + QStringLiteral(" dpi."));
}
