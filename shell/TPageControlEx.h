// A page control whose pages fill the whole control below the tabs, and the whole control
// once every tab is hidden: then it is a stack of pages that the forms switch by code.
#pragma once

#include <QWidget>

class QStackedWidget;
class QTabBar;

class TPageControlEx : public QWidget {
    Q_OBJECT
public:
    explicit TPageControlEx(QWidget* parent = nullptr);

    int addTab(QWidget* page, const QString& caption); // returns the new page's index
    int count() const;
    QWidget* widget(int index) const;
    int indexOf(QWidget* page) const;

    int currentIndex() const;
    QWidget* currentWidget() const;
    void setCurrentIndex(int index);
    void setCurrentWidget(QWidget* page);

    // Hiding a tab leaves its page in the stack and the current page as it is.
    void setTabVisible(int index, bool visible);
    bool isTabVisible(int index) const;
    QString tabText(int index) const;
    void setTabText(int index, const QString& caption);

    QTabBar* tabBar() const { return m_tabs; }

signals:
    void currentChanged(int index);

private:
    void syncTabBar();

    QTabBar* m_tabs = nullptr;
    QStackedWidget* m_stack = nullptr;
};
