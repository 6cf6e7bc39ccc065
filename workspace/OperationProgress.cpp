// Progress box over image operations.
#include "workspace/OperationProgress.h"

#include "shell/TF_Progress.h"

#include <QCoreApplication>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>

OperationProgress::OperationProgress(const QString& caption, int steps, qint64 pixels)
{
    if (pixels < MinPixels || !F_Progress || F_Progress->isVisible())
        return;
    m_box = F_Progress;
    m_box->L_1->setText(caption);
    m_box->L_2->clear();
    m_box->PB->setRange(0, std::max(steps, 1));
    m_box->PB->setValue(0);
    m_cancelWasVisible = !m_box->B_Cancel->isHidden();
    m_box->B_Cancel->hide();
    m_box->B_Cancel->setEnabled(false); // Esc clicks it
    m_box->show();
    m_box->repaint();
}

OperationProgress::~OperationProgress()
{
    if (!m_box)
        return;
    m_box->hide();
    m_box->B_Cancel->setEnabled(true);
    m_box->B_Cancel->setVisible(m_cancelWasVisible);
}

void OperationProgress::step(const QString& text)
{
    if (!m_box)
        return;
    if (!text.isNull())
        m_box->L_2->setText(text);
    m_box->PB->setValue(m_box->PB->value() + 1);
    m_box->repaint();
    // Paints only: a click or key now could close or change the window being worked on.
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}
