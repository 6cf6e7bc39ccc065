// The update window: asks the maker's web server for the version document, compares its build
// number with the running program's and reports in a text box; on request it downloads the
// installer and saves it for the user. Nothing downloaded is ever run, only http and https
// addresses are opened, every request goes through the proxy settings, and every request has a
// time limit and a size limit, also when the server gives no length.
#pragma once

#include <QByteArray>
#include <QDialog>
#include <QPointer>
#include <QString>
#include <QUrl>

#include <functional>

class QNetworkAccessManager;
class QPlainTextEdit;
class QPushButton;

struct TUpdateInfo {
    QString ProductName;
    int MainVersion = 0;
    int SubVersion = 0;
    int Build = 0; // the only number compared
    QString InfoPath;   // web page about the release
    QString UpdatePath; // the installer
};

// Reads the version document: root "VersionInfo", one child per product with the attributes
// ProductName, MainVersion, SubVersion, Build, Filepath and Productinfo. 0 when a child keyed
// "JEX4" was found (its values in `info`); -1 otherwise, with the reason in `why`.
int ParseVersionInfo(const QByteArray& document, TUpdateInfo& info, QString* why = nullptr);

// One HTTP exchange's outcome.
struct HttpAnswer {
    int status = 0;         // 0: no answer (see error)
    QString error;          // why there is no answer or no body
    QByteArray body;
    qint64 length = -1;     // the announced length; -1 when the server gave none
    bool cancelled = false; // the progress callback said stop
};

class TF_CheckForUpdates : public QDialog {
    Q_OBJECT
public:
    static constexpr qint64 MaxDocumentBytes = 64 * 1024;
    static constexpr qint64 MaxInstallerBytes = qint64(1) << 30;
    // What the network side may hold ahead of this window's reading: a busy window (a question
    // open during a download) must not let the answer pile up in memory.
    static constexpr qint64 ReadBufferBytes = 256 * 1024;
    static inline const char* DocumentPath = "/downloads/VersionInfo.xml";
    static inline const char* DefaultServer = "http://updates.lumek.example";

    explicit TF_CheckForUpdates(QWidget* parent = nullptr);
    ~TF_CheckForUpdates() override;

    TUpdateInfo UpdateInfo;
    int Tag = 0; // 100: download as soon as the window shows; during a download 1 = cancel asked
    QUrl Server = QUrl(QString::fromLatin1(DefaultServer)); // the maker's web server
    int TimeoutMs = 15000;     // for one request without progress
    int CheckLimitMs = 120000; // for the whole check, however steadily a server trickles
    std::function<qint64()> Clock; // milliseconds, for the check's limit; unset: a steady clock
    QString DownloadFolder;    // where the installer goes; empty: the user's download folder

    QPlainTextEdit* M_State = nullptr;
    QPushButton* Button1 = nullptr;  // "Check update"
    QPushButton* B_Cancel = nullptr; // "Cancel download"
    QPushButton* B_Info = nullptr;
    QPushButton* B_Update = nullptr;

    // Runs the check (the window may be hidden) and says whether the server's build is newer.
    bool IsUpdateAvailable();
    // Probe and document: 0 done, the probe's HTTP status, or -1.
    int CheckForUpdate();
    // Fetches and reads the document. 0 when a "JEX4" entry was found, else -1.
    int GetUpdateInfo(const QUrl& address);

    // The path of the saved installer after a download; empty otherwise.
    QString SavedInstaller() const { return m_saved; }

    void B_UpdateClick();
    void B_CancelClick();
    void B_InfoClick();
    void Button1Click();
    void FormShow();

    // One request through the proxy settings, following redirects when asked, waiting at most
    // TimeoutMs without progress and, during a check, not beyond the check's limit; a body
    // announced or grown beyond maxBytes ends it with an error. `progress` gets the bytes so far
    // and the announced total (-1 unknown) and returns false to stop.
    HttpAnswer request(const QByteArray& verb, const QUrl& url, bool followRedirects, qint64 maxBytes,
                       const std::function<bool(qint64, qint64)>& progress = {});

protected:
    void showEvent(QShowEvent* event) override;

private:
    void append(const QString& line);
    void replaceLastLine(const QString& line);
    QUrl documentAddress() const;
    bool download();

    qint64 now() const;

    QNetworkAccessManager* m_net = nullptr;
    qint64 m_checkEnd = -1; // when the running check must have ended (Clock); -1: no check runs
    bool m_busy = false; // a check or download runs: a second one waits for it
    QString m_saved;
};

// Created at start-up.
extern QPointer<TF_CheckForUpdates> F_CheckForUpdates;
