// Main window and the link to RAXO: the frame owns the one link, shows its state in status panel 0,
// opens what RAXO asks for through ProcessLoadProject, and lends the link its image list for the
// image windows' reload buttons.
#include "shell/TF_Main.h"

#include "project/JEX3Project.h"
#include "shell/RAXOLink.h"
#include "shell/SettingsStore.h"
#include "shell/TF_ErrorLog.h"

#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <QPolygon>
#include <QTcpSocket>
#include <QTimer>

namespace {

// A glyph of the image windows' image list. The commands' pictures are plain line drawings; the
// two marks of the link are a letter on a coloured disc, so reference and sample tell apart at a
// glance on the reload button.
QIcon mdiGlyph(int index)
{
    QPixmap pm(16, 16);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    const QPen ink(QColor(0x20, 0x20, 0x20), 1.2);
    const QPen red(QColor(0xD0, 0x20, 0x20), 1.6);
    p.setPen(ink);
    auto letter = [&p](const QColor& disc, const QString& text) {
        p.setPen(Qt::NoPen);
        p.setBrush(disc);
        p.drawEllipse(QRectF(0.5, 0.5, 15, 15));
        QFont f(QStringLiteral("DejaVu Sans"));
        f.setPixelSize(11);
        f.setBold(true);
        p.setFont(f);
        p.setPen(Qt::white);
        p.drawText(QRect(0, 0, 16, 16), Qt::AlignCenter, text);
    };
    switch (index) {
    case 0: // selection mode: the arrow
        p.setBrush(Qt::white);
        p.drawPolygon(QPolygon({QPoint(3, 1), QPoint(3, 13), QPoint(6, 10), QPoint(9, 15), QPoint(11, 14),
                                QPoint(8, 9), QPoint(12, 9)}));
        break;
    case 1: // new index: a red marker across the core
        p.drawLine(1, 8, 15, 8);
        p.setPen(red);
        p.drawLine(8, 2, 8, 14);
        break;
    case 2: // new measurements: ring borders along the path
        p.drawLine(1, 8, 15, 8);
        for (int x : {3, 7, 12})
            p.drawLine(x, 4, x, 12);
        break;
    case 3: // zoom: the magnifier
        p.drawEllipse(QRectF(2, 2, 8, 8));
        p.setPen(QPen(QColor(0x20, 0x20, 0x20), 2));
        p.drawLine(9, 9, 14, 14);
        break;
    case 4: // insert index: a marker with a plus
    case 5: // insert measurement: a ring border with a plus
        p.setPen(index == 4 ? red : ink);
        p.drawLine(5, 3, 5, 14);
        p.setPen(ink);
        p.drawLine(10, 5, 15, 5);
        p.drawLine(12, 2, 12, 8);
        break;
    case 6: // select region: a dashed frame
        p.setPen(QPen(QColor(0x20, 0x20, 0x20), 1, Qt::DashLine));
        p.drawRect(QRectF(2.5, 3.5, 11, 9));
        break;
    case 7: // edit info: an "i"
        p.setBrush(QColor(0x20, 0x60, 0xC0));
        p.setPen(Qt::NoPen);
        p.drawEllipse(QRectF(7, 1.5, 2.5, 2.5));
        p.drawRect(QRectF(7, 5, 2.5, 9));
        break;
    case 8: // the reference of the link
        letter(QColor(0x20, 0x80, 0x30), QStringLiteral("R"));
        break;
    case 9: // the sample of the link
        letter(QColor(0xD0, 0x70, 0x10), QStringLiteral("S"));
        break;
    case 10: // align images: two overlapping pictures
        p.drawRect(QRectF(1.5, 1.5, 8, 8));
        p.setBrush(QColor(0xA0, 0xC0, 0xE0, 0xA0));
        p.drawRect(QRectF(6.5, 6.5, 8, 8));
        break;
    case 11: // rectangle
        p.drawRect(QRectF(2.5, 4.5, 11, 7));
        break;
    case 12: // arrow
        p.drawLine(2, 14, 13, 3);
        p.setBrush(QColor(0x20, 0x20, 0x20));
        p.drawPolygon(QPolygon({QPoint(14, 2), QPoint(8, 4), QPoint(12, 8)}));
        break;
    case 13: // not used by any command
        break;
    case 14: // delete: a red cross
        p.setPen(QPen(QColor(0xD0, 0x20, 0x20), 2.2));
        p.drawLine(3, 3, 13, 13);
        p.drawLine(13, 3, 3, 13);
        break;
    case 15: { // anchor point
        p.drawEllipse(QRectF(6, 1, 4, 4));
        p.drawLine(8, 5, 8, 14);
        p.drawLine(5, 7, 11, 7);
        QPainterPath arc;
        arc.moveTo(2, 9);
        arc.quadTo(3, 14, 8, 14);
        arc.quadTo(13, 14, 14, 9);
        p.drawPath(arc);
        break;
    }
    default:
        break;
    }
    return QIcon(pm);
}

} // namespace

void TF_Main::createLink()
{
    for (int i = 0; i < 16; ++i)
        IL_MDI << mdiGlyph(i);

    Link = new RAXOLink(this); // inactive until the first showing has ended
    Link->SetStatusWidgets(SB_MainPanel0, I_Connected, I_Disconnected);
    Link->Glyph = [this](int index) { return index >= 0 && index < IL_MDI.size() ? IL_MDI[index] : QIcon(); };
    // Every road that opens a project goes through ProcessLoadProject, RAXO's too.
    Link->LoadProject = [this](const QString& fileName) { return ProcessLoadProject(fileName); };
    Link->ImportProject = [this](const QString& fileName) { return ImportOlderProject(fileName); };
}

QPointer<TF_SMDI>& TF_Main::fs() { return Link->fs; }

QPointer<TF_SMDI>& TF_Main::fr() { return Link->fr; }

QString& TF_Main::OldDatagram() { return Link->OldDatagram; }

bool TF_Main::RequestR5Update() { return Link->RequestR5Update(); }

void TF_Main::StartLink()
{
    // The settings store has read address and port by now; the socket is not active yet, so
    // both are taken.
    const StoredWindowValues& v = WindowValues();
    Link->SetAddress(v.LinkAddress);
    Link->SetPort(v.LinkPort);
    Link->T_TCP->start();
}

void TF_Main::StopLink()
{
    Link->T_TCP->stop();
    Link->TCP->abort();
    StoredWindowValues& v = WindowValues();
    v.LinkAddress = Link->Address();
    v.LinkPort = Link->Port();
}
