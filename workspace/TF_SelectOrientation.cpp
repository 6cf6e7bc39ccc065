// Orientation dialog for loading several images at once.
#include "workspace/TF_SelectOrientation.h"
#include "workspace/FormLook.h"

#include <QButtonGroup>
#include <QFrame>
#include <QLabel>
#include <QPainter>
#include <QPixmap>
#include <QPushButton>
#include <QRadioButton>
#include <QShowEvent>

QPointer<TF_SelectOrientation> F_SelectOrientation;

namespace {

constexpr int SketchW = 100;
constexpr int SketchH = 100;

// Three numbered frames in loading order along the direction (dx, dy), with an arrow beside them.
QPixmap arrangementSketch(int dx, int dy)
{
    QPixmap pm(SketchW, SketchH);
    pm.fill(Qt::white);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    QFont f(QStringLiteral("DejaVu Sans"));
    f.setPixelSize(11);
    p.setFont(f);
    const bool horizontal = dx != 0;
    const QSize box = horizontal ? QSize(24, 40) : QSize(40, 18);
    const QPoint centre(SketchW / 2, SketchH / 2 - (horizontal ? 10 : 0));
    for (int i = 0; i < 3; ++i) {
        const int step = (i - 1) * (horizontal ? box.width() : box.height());
        const QPoint c = centre + QPoint(dx * step, dy * step);
        const QRect r(c.x() - box.width() / 2, c.y() - box.height() / 2, box.width(), box.height());
        p.fillRect(r, QColor(0xD8, 0xC0, 0x98));
        p.setPen(Qt::black);
        p.drawRect(r);
        p.drawText(r, Qt::AlignCenter, QString::number(i + 1));
    }
    // The arrow points the way the images follow each other.
    QPoint from, to;
    if (horizontal) {
        const int y = SketchH - 18;
        from = QPoint(SketchW / 2 - 36 * dx, y);
        to = QPoint(SketchW / 2 + 36 * dx, y);
    } else {
        const int x = SketchW - 14;
        from = QPoint(x, SketchH / 2 - 36 * dy);
        to = QPoint(x, SketchH / 2 + 36 * dy);
    }
    p.setPen(QPen(QColor(0x00, 0x50, 0xA0), 2));
    p.drawLine(from, to);
    const QPoint back = horizontal ? QPoint(-6 * dx, 0) : QPoint(0, -6 * dy);
    const QPoint side = horizontal ? QPoint(0, 4) : QPoint(4, 0);
    p.drawLine(to, to + back + side);
    p.drawLine(to, to + back - side);
    return pm;
}

} // namespace

TF_SelectOrientation::TF_SelectOrientation(QWidget* parent)
    : QDialog(parent, Qt::Tool)
{
    setWindowTitle(QStringLiteral("Select Orientation"));
    setFixedSize(252, 169);
    UseSmallDialogLook(this);

    auto* group = new QButtonGroup(this);
    const char* captions[] = {"Left to Right", "Right to Left", "Top to Bottom", "Bottom to Top"};
    QRadioButton** buttons[] = {&RadioButton1, &RadioButton2, &RadioButton3, &RadioButton4};
    for (int i = 0; i < 4; ++i) {
        auto* b = new QRadioButton(QString::fromLatin1(captions[i]), this);
        b->setGeometry(8, 12 + i * 24, 112, 19);
        group->addButton(b, i);
        connect(b, &QRadioButton::clicked, this, &TF_SelectOrientation::RadioButton1Click);
        *buttons[i] = b;
    }
    RadioButton1->setChecked(true);

    P_Preview = new QFrame(this);
    P_Preview->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    P_Preview->setGeometry(132, 8, SketchW + 4, SketchH + 4);
    const QPoint directions[] = {{1, 0}, {-1, 0}, {0, 1}, {0, -1}};
    QLabel** images[] = {&I_LR, &I_RL, &I_TB, &I_BT};
    for (int i = 0; i < 4; ++i) {
        auto* l = new QLabel(P_Preview);
        l->setGeometry(2, 2, SketchW, SketchH);
        l->setPixmap(arrangementSketch(directions[i].x(), directions[i].y()));
        l->setVisible(i == 0);
        *images[i] = l;
    }

    B_Ok = new QPushButton(QStringLiteral("&Ok"), this);
    B_Ok->setGeometry(161, 136, 75, 25);
    B_Ok->setDefault(true);
    connect(B_Ok, &QPushButton::clicked, this, &QDialog::accept);
}

void TF_SelectOrientation::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    if (!event->spontaneous()) {
        // Centred on the main window (the parent) when there is one.
        if (QWidget* owner = parentWidget() ? parentWidget()->window() : nullptr)
            move(owner->geometry().center() - rect().center());
        FormShow();
    }
}

void TF_SelectOrientation::FormShow()
{
    RadioButton1Click();
}

void TF_SelectOrientation::RadioButton1Click()
{
    I_LR->setVisible(RadioButton1->isChecked());
    I_RL->setVisible(RadioButton2->isChecked());
    I_TB->setVisible(RadioButton3->isChecked());
    I_BT->setVisible(RadioButton4->isChecked());
}
