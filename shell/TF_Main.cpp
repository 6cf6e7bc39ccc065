#include "shell/TF_Main.h"

#include <QMdiArea>

TF_Main* F_Main = nullptr;

TF_Main::TF_Main(QWidget* parent)
    : QMainWindow(parent)
{
    setWindowTitle(QStringLiteral("JEX4"));
    m_mdiArea = new QMdiArea(this);
    setCentralWidget(m_mdiArea);
    resize(1280, 800);
}
