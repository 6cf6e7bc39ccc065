#include "shell/TPageControlEx.h"

#include <QSignalBlocker>
#include <QStackedWidget>
#include <QTabBar>
#include <QVBoxLayout>

TPageControlEx::TPageControlEx(QWidget* parent)
    : QWidget(parent)
{
    m_tabs = new QTabBar(this);
    m_tabs->setDrawBase(true);
    m_tabs->setExpanding(false);
    m_tabs->hide();
    m_stack = new QStackedWidget(this);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(m_tabs);
    layout->addWidget(m_stack, 1);

    // A tab click is the user's choice of page; the stack is the truth about the current page.
    connect(m_tabs, &QTabBar::currentChanged, this, [this](int index) {
        if (index >= 0 && index != m_stack->currentIndex())
            m_stack->setCurrentIndex(index);
    });
    connect(m_stack, &QStackedWidget::currentChanged, this, [this](int index) {
        syncTabBar();
        emit currentChanged(index);
    });
}

int TPageControlEx::addTab(QWidget* page, const QString& caption)
{
    const int index = m_stack->addWidget(page);
    {
        const QSignalBlocker block(m_tabs);
        m_tabs->insertTab(index, caption);
    }
    syncTabBar();
    return index;
}

int TPageControlEx::count() const { return m_stack->count(); }

QWidget* TPageControlEx::widget(int index) const { return m_stack->widget(index); }

int TPageControlEx::indexOf(QWidget* page) const { return m_stack->indexOf(page); }

int TPageControlEx::currentIndex() const { return m_stack->currentIndex(); }

QWidget* TPageControlEx::currentWidget() const { return m_stack->currentWidget(); }

void TPageControlEx::setCurrentIndex(int index)
{
    if (index >= 0 && index < count())
        m_stack->setCurrentIndex(index);
}

void TPageControlEx::setCurrentWidget(QWidget* page) { setCurrentIndex(indexOf(page)); }

void TPageControlEx::setTabVisible(int index, bool visible)
{
    if (index < 0 || index >= count())
        return;
    {
        // The tab bar moves its selection off a hidden tab; the page must not follow.
        const QSignalBlocker block(m_tabs);
        m_tabs->setTabVisible(index, visible);
    }
    syncTabBar();
}

bool TPageControlEx::isTabVisible(int index) const { return m_tabs->isTabVisible(index); }

QString TPageControlEx::tabText(int index) const { return m_tabs->tabText(index); }

void TPageControlEx::setTabText(int index, const QString& caption) { m_tabs->setTabText(index, caption); }

void TPageControlEx::syncTabBar()
{
    const QSignalBlocker block(m_tabs);
    if (m_tabs->currentIndex() != m_stack->currentIndex())
        m_tabs->setCurrentIndex(m_stack->currentIndex());
    bool anyVisible = false;
    for (int i = 0; i < m_tabs->count() && !anyVisible; ++i)
        anyVisible = m_tabs->isTabVisible(i);
    // Without tabs the bar takes no room and the current page covers the control.
    m_tabs->setVisible(anyVisible);
}
