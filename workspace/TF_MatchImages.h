// The image alignment wizard: hands the images of a window to the panorama tools pto_gen and
// cpfind, run as separate programs in a private temporary folder, and moves the images by the
// control points they find. The reading and the placing are in ImageAlignment.
#pragma once

#include "workspace/ImageAlignment.h"

#include <QDialog>
#include <QPointer>
#include <QString>

#include <memory>
#include <vector>

class BusyAnimation;
class QCheckBox;
class QLabel;
class QListWidget;
class QPlainTextEdit;
class QPushButton;
class QTemporaryDir;
class QTreeWidget;
class QWidget;
class TF_SMDI;
class TPageControlEx;

class TF_MatchImages : public QDialog {
    Q_OBJECT
public:
    explicit TF_MatchImages(QWidget* parent = nullptr);
    ~TF_MatchImages() override;

    QPointer<TF_SMDI> SMDI; // the image window whose images are aligned; set before showing
    QString OutFile;        // the control-point file of the last successful Start

    // ---- components ----
    TPageControlEx* PCE = nullptr;
    QWidget* TS1 = nullptr;
    QListWidget* LB_Images = nullptr; // checkable; each entry carries its image's index
    QPushButton* BB_Up = nullptr;
    QPushButton* BB_Down = nullptr;
    QCheckBox* CB_DisplayOutFile = nullptr;
    QCheckBox* CB_LinearMatch = nullptr;
    QPushButton* BB_Next1 = nullptr;

    QWidget* TS2 = nullptr;
    QPlainTextEdit* M_DOS = nullptr;
    QWidget* P_Progress2 = nullptr;
    BusyAnimation* GIF = nullptr;
    QPushButton* BB_Next2 = nullptr;

    QWidget* TS3 = nullptr;
    QTreeWidget* VST_Match = nullptr;
    QPushButton* BB_Next3 = nullptr;
    QWidget* P_Warning = nullptr;

    QPushButton* B_Close = nullptr;

    std::vector<TControlPoint> CPList;
    std::vector<TPairing> Pairings; // the rows of VST_Match

    // Runs pto_gen on the ticked images; the written file, or empty.
    void CreatePTOFile(QString& PTOFile);
    // Runs cpfind on the image list; the written control-point file, or empty.
    void RunCPFind(const QString& PTOFile, QString& OutFile);

    void BB_UpClick();
    void BB_DownClick();
    void BB_Next1Click();
    void BB_Next2Click();
    void BB_Next3Click();

    // The private folder of this wizard's files, with a trailing '/'.
    QString TempFolder() const;

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void reject() override;

private:
    void createPages();
    void log(const QString& line);
    // Runs one tool; false, with the reason and where its path is set in M_DOS, when it cannot be
    // started, crashes or ends with an error.
    bool runTool(const QString& name, const QString& setting, const QString& program, const QStringList& arguments);
    void setRunning(bool running);

    std::unique_ptr<QTemporaryDir> m_temp;
    bool m_running = false; // a tool runs: the wizard stays open
};
