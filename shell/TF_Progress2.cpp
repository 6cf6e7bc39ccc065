#include "shell/TF_Progress2.h"

#include "platform/Dialogs.h"

#include <QGuiApplication>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QScreen>
#include <QShowEvent>
#include <QTimer>

#include <cmath>

QPointer<TF_Progress2> F_Progress2;

namespace {
constexpr int DotCount = 8;
constexpr int FrameMs = 100;
} // namespace

BusyAnimation::BusyAnimation(QWidget* parent)
    : QWidget(parent)
{
    setFixedSize(32, 32);
    m_timer = new QTimer(this);
    m_timer->setInterval(FrameMs);
    connect(m_timer, &QTimer::timeout, this, [this] {
        m_frame = (m_frame + 1) % DotCount;
        update();
    });
}

void BusyAnimation::start() { m_timer->start(); }

void BusyAnimation::stop() { m_timer->stop(); }

bool BusyAnimation::isRunning() const { return m_timer->isActive(); }

void BusyAnimation::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    const QPointF centre(width() / 2.0, height() / 2.0);
    const double radius = 11.0;
    for (int i = 0; i < DotCount; ++i) {
        // The dot of the current frame is darkest; the ones behind it fade.
        const int age = (m_frame - i + DotCount) % DotCount;
        const int gray = 40 + age * 25;
        p.setBrush(QColor(gray, gray, gray));
        const double angle = 2.0 * M_PI * i / DotCount;
        p.drawEllipse(centre + QPointF(radius * std::cos(angle), radius * std::sin(angle)), 3.0, 3.0);
    }
}

TF_Progress2::TF_Progress2(QWidget* parent)
    : QWidget(parent, Qt::Tool | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowStaysOnTopHint)
{
    giveWayToQuestions(this);
    setFixedSize(366, 90);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, Qt::white);
    setPalette(pal);
    setAutoFillBackground(true);

    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPixelSize(11);

    GIF = new BusyAnimation(this);
    GIF->move(16, 16);

    L_Info = new QLabel(QStringLiteral("Resizing images...."), this);
    L_Info->setGeometry(60, 24, 290, 18);
    L_Info->setFont(font);

    Button1 = new QPushButton(QStringLiteral("&Cancel"), this);
    Button1->setGeometry(275, 56, 75, 23);
    Button1->setFont(font);
    connect(Button1, &QPushButton::clicked, this, &TF_Progress2::Button1Click);
}

void TF_Progress2::Button1Click()
{
    GIF->stop();
    Tag = TagCancelled;
}

void TF_Progress2::showEvent(QShowEvent* event)
{
    if (!event->spontaneous()) {
        Tag = 0;
        GIF->start();
        if (QScreen* screen = QGuiApplication::primaryScreen())
            move(screen->availableGeometry().center() - QPoint(width() / 2, height() / 2));
    }
    QWidget::showEvent(event);
}

void TF_Progress2::hideEvent(QHideEvent* event)
{
    if (!event->spontaneous())
        GIF->stop();
    QWidget::hideEvent(event);
}

void TF_Progress2::paintEvent(QPaintEvent* event)
{
    QWidget::paintEvent(event);
    QPainter p(this);
    p.setPen(Qt::gray);
    p.drawRect(rect().adjusted(0, 0, -1, -1));
}
