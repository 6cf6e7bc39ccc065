// The scanner's own dialog.
#include "platform/TScanDialog.h"

#include "platform/Twain.h"

#include <QComboBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

TScanDialog::TScanDialog(TTwain* twain, const QString& sourceName, QWidget* parent)
    : QDialog(parent), m_twain(twain)
{
    setObjectName(QStringLiteral("TScanDialog"));
    setWindowTitle(sourceName);
    setModal(false);
    auto* layout = new QVBoxLayout(this);
    auto* form = new QFormLayout;
    CB_Mode = new QComboBox(this);
    CB_Resolution = new QComboBox(this);
    form->addRow(QStringLiteral("Mode:"), CB_Mode);
    form->addRow(QStringLiteral("Resolution (dpi):"), CB_Resolution);
    layout->addLayout(form);
    L_Status = new QLabel(this);
    layout->addWidget(L_Status);
    PB_Scan = new QProgressBar(this);
    PB_Scan->setRange(0, 0); // the scan's length is known only to the driver
    PB_Scan->setTextVisible(false);
    layout->addWidget(PB_Scan);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    B_Scan = new QPushButton(QStringLiteral("&Scan"), this);
    B_Cancel = new QPushButton(QStringLiteral("Cancel"), this);
    buttons->addWidget(B_Scan);
    buttons->addWidget(B_Cancel);
    layout->addLayout(buttons);
    B_Scan->setDefault(true);
    connect(B_Scan, &QPushButton::clicked, this, &TScanDialog::B_ScanClick);
    connect(B_Cancel, &QPushButton::clicked, this, &TScanDialog::reject);
    ShowConnecting();
}

void TScanDialog::ShowConnecting()
{
    L_Status->setText(QStringLiteral("Connecting to the scanner..."));
    PB_Scan->setVisible(true);
    CB_Mode->setEnabled(false);
    CB_Resolution->setEnabled(false);
    B_Scan->setEnabled(false);
}

void TScanDialog::ShowOptions(const TScanOptions& options)
{
    if (CB_Mode->count() == 0) {
        CB_Mode->addItems(options.Modes);
        CB_Mode->setCurrentText(options.Mode);
        for (int r : options.Resolutions)
            CB_Resolution->addItem(QString::number(r), r);
        const int current = CB_Resolution->findData(options.Resolution);
        if (current >= 0)
            CB_Resolution->setCurrentIndex(current);
    }
    L_Status->setText(QStringLiteral("Ready"));
    PB_Scan->setVisible(false);
    CB_Mode->setEnabled(CB_Mode->count() > 0);
    CB_Resolution->setEnabled(CB_Resolution->count() > 0);
    B_Scan->setEnabled(true);
}

void TScanDialog::ShowScanning()
{
    L_Status->setText(QStringLiteral("Scanning..."));
    PB_Scan->setVisible(true);
    CB_Mode->setEnabled(false);
    CB_Resolution->setEnabled(false);
    B_Scan->setEnabled(false);
}

void TScanDialog::B_ScanClick()
{
    TScanSettings settings;
    settings.Mode = CB_Mode->currentText();
    settings.Resolution = CB_Resolution->currentData().toInt();
    m_twain->Acquire(settings);
}

void TScanDialog::reject()
{
    // Cancel stops a running scan; otherwise it ends the acquisition, which closes this dialog.
    m_twain->Cancel();
}
