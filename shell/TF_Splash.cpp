// The artwork is painted, not loaded, so the window needs no image file beside the program.
#include "shell/TF_Splash.h"

#include "platform/Dialogs.h"
#include "project/Settings.h"

#include <QApplication>
#include <QLabel>
#include <QLinearGradient>
#include <QPainter>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QTimer>

QPointer<TF_Splash> F_Splash;

TF_Splash::TF_Splash(QWidget* parent)
    : QDialog(parent, Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint | Qt::Dialog)
{
    giveWayToQuestions(this);
    setFixedSize(460, 305);
    setWindowTitle(QStringLiteral("JEX4"));

    L_Product = new QLabel(QStringLiteral("JEX4"), this);
    QFont big = L_Product->font();
    big.setPixelSize(40);
    big.setBold(true);
    L_Product->setFont(big);
    L_Product->setGeometry(30, 40, 400, 50);

    auto* subtitle = new QLabel(QStringLiteral("Tree-ring measurement on scanned wood"), this);
    subtitle->setGeometry(32, 92, 400, 20);

    L_Rights = new QLabel(QStringLiteral("All rights reserved."), this);
    L_Rights->setGeometry(32, 230, 400, 18);

    L_Version = new QLabel(this);
    L_Version->setGeometry(32, 120, 400, 20);

    PB = new QProgressBar(this);
    PB->setRange(0, ProgressMax);
    PB->setValue(0);
    PB->setTextVisible(false);
    PB->setGeometry((460 - 361) / 2, 270, 361, 11);
    // Gradient from $C08000 (an ochre blue in $00BBGGRR) to sky blue.
    PB->setStyleSheet(QStringLiteral("QProgressBar { border: 1px solid gray; background: white; }"
                                     "QProgressBar::chunk { background: qlineargradient(x1:0, y1:0, x2:1, y2:0,"
                                     " stop:0 #0080C0, stop:1 #87CEEB); }"));

    B_Ok = new QPushButton(QStringLiteral("&Ok"), this);
    B_Ok->setGeometry(460 - 100, 262, 80, 28);
    connect(B_Ok, &QPushButton::clicked, this, &TF_Splash::B_OkClick);

    Timer1 = new QTimer(this);
    Timer1->setInterval(FadeInterval);
    connect(Timer1, &QTimer::timeout, this, &TF_Splash::Timer1Timer);

    for (QLabel* label : {L_Product, subtitle, L_Rights, L_Version})
        label->setStyleSheet(QStringLiteral("color: white"));

    B_Ok->hide();
    if (QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->geometry().center() - rect().center());
}

void TF_Splash::setAlphaBlendValue(int value)
{
    m_alpha = qBound(0, value, 255);
    setWindowOpacity(m_alpha / 255.0);
}

QString TF_Splash::VersionText()
{
    return QStringLiteral("Version ") + QString::number(VersionMajor) + QLatin1Char('.') + QString::number(VersionMinor)
        + QLatin1Char('.') + QString::number(VersionBuild);
}

void TF_Splash::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    FormShow();
}

void TF_Splash::FormShow()
{
    Timer1->stop();
    setAlphaBlendValue(255);
    PB->setVisible(Tag == 0);
    B_Ok->setVisible(Tag != 0);
    L_Version->setText(VersionText());
}

void TF_Splash::B_OkClick()
{
    Timer1->start();
}

void TF_Splash::Timer1Timer()
{
    setAlphaBlendValue(m_alpha - FadeStep);
    if (m_alpha < 10) {
        Timer1->stop();
        // Ends the modal showing of the About box; a hidden splash just stays hidden.
        if (isVisible())
            done(QDialog::Accepted);
    }
}

void TF_Splash::paintEvent(QPaintEvent* event)
{
    QPainter p(this);
    QLinearGradient sky(0, 0, 0, height());
    sky.setColorAt(0.0, QColor(0x1E, 0x3A, 0x5F));
    sky.setColorAt(1.0, QColor(0x6F, 0x37, 0x00).lighter(160));
    p.fillRect(rect(), sky);
    // Rings of a stem disc in the corner.
    p.setRenderHint(QPainter::Antialiasing);
    const QPointF centre(width() - 60, 70);
    for (int r = 8; r < 120; r += 9 + (r % 7)) {
        p.setPen(QPen(QColor(0xD2, 0xB4, 0x8C, 90), 2));
        p.drawEllipse(centre, r, r * 0.92);
    }
    // Thin gray frame over the picture.
    p.setPen(Qt::gray);
    p.drawRect(rect().adjusted(0, 0, -1, -1));
    QDialog::paintEvent(event);
}

void StepSplash()
{
    if (F_Splash)
        F_Splash->PB->setValue(qMin(TF_Splash::ProgressMax, F_Splash->PB->value() + TF_Splash::ProgressStep));
    QCoreApplication::processEvents();
}
