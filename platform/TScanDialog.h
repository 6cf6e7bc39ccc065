// The scanner's own dialog: mode and resolution of the open source, Scan and Cancel. It stays
// open, not modal, while the acquisition lasts; TTwain fills and drives it.
#pragma once

#include <QDialog>

class QComboBox;
class QLabel;
class QProgressBar;
class QPushButton;
class TTwain;
struct TScanOptions;

class TScanDialog : public QDialog {
    Q_OBJECT
public:
    TScanDialog(TTwain* twain, const QString& sourceName, QWidget* parent);

    void ShowConnecting();
    void ShowOptions(const TScanOptions& options);
    void ShowScanning();

    QComboBox* CB_Mode = nullptr;
    QComboBox* CB_Resolution = nullptr;
    QPushButton* B_Scan = nullptr;
    QPushButton* B_Cancel = nullptr;
    QLabel* L_Status = nullptr;
    QProgressBar* PB_Scan = nullptr;

protected:
    void reject() override; // Esc and the close box: Cancel

private:
    void B_ScanClick();
    TTwain* m_twain;
};
