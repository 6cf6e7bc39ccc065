#include "shell/TF_Progress.h"

#include "platform/Dialogs.h"
#include "shell/TF_Main.h"

#include <QApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QPainter>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QStyle>

QPointer<TF_Progress> F_Progress;

TF_Progress::TF_Progress(QWidget* parent)
    : QWidget(parent, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint)
{
    giveWayToQuestions(this);
    setFixedSize(498, 100);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, Qt::white);
    setPalette(pal);
    setAutoFillBackground(true);

    I_JEX = new QLabel(this);
    I_JEX->setGeometry(12, 12, 32, 32);
    QIcon icon = QApplication::windowIcon();
    if (icon.isNull())
        icon = style()->standardIcon(QStyle::SP_ComputerIcon);
    I_JEX->setPixmap(icon.pixmap(32, 32));

    L_1 = new QLabel(this);
    L_1->setGeometry(56, 10, 430, 18);
    QFont bold(QStringLiteral("DejaVu Sans"));
    bold.setPixelSize(11);
    bold.setBold(true);
    L_1->setFont(bold);

    L_2 = new QLabel(this);
    L_2->setGeometry(56, 30, 430, 18);
    QFont plain(QStringLiteral("DejaVu Sans"));
    plain.setPixelSize(11);
    L_2->setFont(plain);

    PB = new QProgressBar(this);
    PB->setGeometry(12, 52, 474, 14);
    PB->setTextVisible(false);
    // Smooth bar, gradient from $C08000 to sky blue ($F0CAA6).
    PB->setStyleSheet(QStringLiteral(
        "QProgressBar { border: 1px solid #A0A0A0; background: white; }"
        "QProgressBar::chunk { background: qlineargradient(x1:0, y1:0, x2:1, y2:0,"
        " stop:0 #0080C0, stop:1 #A6CAF0); }"));
    PB->setRange(0, 8);
    PB->setValue(1);

    B_Cancel = new QPushButton(QStringLiteral("Cancel"), this);
    B_Cancel->setGeometry(411, 72, 75, 23);
    B_Cancel->setFont(plain);
    connect(B_Cancel, &QPushButton::clicked, this, &TF_Progress::B_CancelClick);
}

void TF_Progress::DoStep()
{
    // A bar already at its end stays there.
    PB->setValue(PB->value() + 1);
    QCoreApplication::processEvents();
}

void TF_Progress::B_CancelClick()
{
    Tag = TagCancelled;
}

void TF_Progress::showEvent(QShowEvent* event)
{
    // A window manager restoring the box is no new run.
    if (!event->spontaneous()) {
        Tag = 0;
        placeOverMainWindow();
    }
    QWidget::showEvent(event);
}

void TF_Progress::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
        B_Cancel->click();
        return;
    }
    QWidget::keyPressEvent(event);
}

void TF_Progress::paintEvent(QPaintEvent* event)
{
    QWidget::paintEvent(event);
    QPainter p(this);
    p.setPen(QColor(0x80, 0x80, 0x80));
    p.drawRect(rect().adjusted(0, 0, -1, -1));
}

void TF_Progress::placeOverMainWindow()
{
    QWidget* over = F_Main ? static_cast<QWidget*>(F_Main) : (parentWidget() ? parentWidget()->window() : nullptr);
    QRect area;
    if (over && over->isVisible())
        area = over->frameGeometry();
    else if (QScreen* screen = QGuiApplication::primaryScreen())
        area = screen->availableGeometry();
    else
        return;
    move(area.center() - QPoint(width() / 2, height() / 2));
}
