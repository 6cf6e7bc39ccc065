// The main window: the frame that holds the image windows and docks the tool windows.
#pragma once

#include <QMainWindow>

class QMdiArea;

class TF_Main : public QMainWindow {
    Q_OBJECT
public:
    explicit TF_Main(QWidget* parent = nullptr);

    QMdiArea* mdiArea() const { return m_mdiArea; }

private:
    QMdiArea* m_mdiArea = nullptr;
};

extern TF_Main* F_Main;
