// Update check over QNetworkAccessManager; the version document through QDomDocument.
#include "shell/TF_CheckForUpdates.h"

#include "platform/AtomicFile.h"
#include "platform/Delphi.h"
#include "platform/Dialogs.h"
#include "platform/ShellOpen.h"
#include "project/Settings.h"
#include "shell/TF_ErrorLog.h"

#include <QAuthenticator>
#include <QDir>
#include <QDomDocument>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFileInfo>
#include <QFontDatabase>
#include <QHBoxLayout>
#include <QNetworkAccessManager>
#include <QNetworkProxy>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QShowEvent>
#include <QStandardPaths>
#include <QTextBlock>
#include <QTimer>
#include <QVBoxLayout>

QPointer<TF_CheckForUpdates> F_CheckForUpdates;

// ---- the version document ----

int ParseVersionInfo(const QByteArray& document, TUpdateInfo& info, QString* why)
{
    auto fail = [why](const QString& reason) {
        if (why)
            *why = reason;
        return -1;
    };
    QDomDocument xml;
    QString message;
    int line = 0;
    if (!xml.setContent(document, &message, &line))
        return fail(QStringLiteral("line %1: %2").arg(line).arg(message));
    const QDomElement root = xml.documentElement();
    if (root.tagName() != QLatin1String("VersionInfo"))
        return fail(QStringLiteral("the document is no version information"));
    static const char* const names[] = {"ProductName", "MainVersion", "SubVersion", "Build", "Filepath", "Productinfo"};
    for (QDomElement child = root.firstChildElement(); !child.isNull(); child = child.nextSiblingElement()) {
        for (const char* name : names)
            if (!child.hasAttribute(QLatin1String(name)))
                return fail(QStringLiteral("an entry without %1").arg(QLatin1String(name)));
        info.ProductName = child.attribute(QStringLiteral("ProductName"));
        info.MainVersion = StrToIntDef(child.attribute(QStringLiteral("MainVersion")), 0);
        info.SubVersion = StrToIntDef(child.attribute(QStringLiteral("SubVersion")), 0);
        info.Build = StrToIntDef(child.attribute(QStringLiteral("Build")), 0);
        info.UpdatePath = child.attribute(QStringLiteral("Filepath"));
        info.InfoPath = child.attribute(QStringLiteral("Productinfo"));
        if (info.ProductName == QLatin1String("JEX4"))
            return 0;
    }
    return fail(QStringLiteral("no entry for JEX4"));
}

// ---- window ----

TF_CheckForUpdates::TF_CheckForUpdates(QWidget* parent)
    : QDialog(parent, Qt::Tool)
{
    // A test bed or a mirror can name another server.
    const QByteArray server = qgetenv("JEX4_UPDATE_SERVER");
    if (!server.isEmpty())
        Server = QUrl(QString::fromUtf8(server));
    setWindowTitle(QStringLiteral("Check for updates"));
    setModal(true);
    resize(520, 300);
    M_State = new QPlainTextEdit(this);
    M_State->setReadOnly(true);
    QFont mono = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    mono.setFamily(QStringLiteral("DejaVu Sans Mono"));
    mono.setPixelSize(13);
    M_State->setFont(mono);
    Button1 = new QPushButton(QStringLiteral("Check update"), this);
    B_Cancel = new QPushButton(QStringLiteral("Cancel download"), this);
    B_Info = new QPushButton(QStringLiteral("Info"), this);
    B_Update = new QPushButton(QStringLiteral("Update"), this);
    B_Cancel->hide();
    for (QPushButton* b : {Button1, B_Cancel, B_Info, B_Update})
        b->setAutoDefault(false);
    connect(Button1, &QPushButton::clicked, this, &TF_CheckForUpdates::Button1Click);
    connect(B_Cancel, &QPushButton::clicked, this, &TF_CheckForUpdates::B_CancelClick);
    connect(B_Info, &QPushButton::clicked, this, &TF_CheckForUpdates::B_InfoClick);
    connect(B_Update, &QPushButton::clicked, this, &TF_CheckForUpdates::B_UpdateClick);

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(Button1);
    buttons->addWidget(B_Cancel);
    buttons->addStretch(1);
    buttons->addWidget(B_Info);
    buttons->addWidget(B_Update);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(M_State, 1);
    layout->addLayout(buttons);

    m_net = new QNetworkAccessManager(this);
    connect(m_net, &QNetworkAccessManager::proxyAuthenticationRequired, this,
            [](const QNetworkProxy&, QAuthenticator* auth) {
                if (SettingProxyUseAuthentication) {
                    auth->setUser(SettingProxyUser);
                    auth->setPassword(SettingProxyPassword);
                }
            });
}

TF_CheckForUpdates::~TF_CheckForUpdates()
{
    if (F_CheckForUpdates == this)
        F_CheckForUpdates = nullptr;
}

void TF_CheckForUpdates::append(const QString& line)
{
    M_State->appendPlainText(line);
}

void TF_CheckForUpdates::replaceLastLine(const QString& line)
{
    QTextCursor c(M_State->document()->lastBlock());
    c.select(QTextCursor::BlockUnderCursor);
    c.removeSelectedText();
    M_State->appendPlainText(line);
}

QUrl TF_CheckForUpdates::documentAddress() const
{
    QUrl url = Server;
    url.setPath(QString::fromLatin1(DocumentPath));
    return url;
}

// ---- HTTP ----

HttpAnswer TF_CheckForUpdates::request(const QByteArray& verb, const QUrl& url, bool followRedirects, qint64 maxBytes,
                                       const std::function<bool(qint64, qint64)>& progress)
{
    HttpAnswer answer;
    if (!IsWebAddress(url)) {
        answer.error = QStringLiteral("%1 is no web address").arg(url.toString());
        return answer;
    }
    // The proxy setting holds for every request; off means a direct connection, whatever the
    // environment says.
    if (SettingUseProxy) {
        if (SettingProxyPort < 1 || SettingProxyPort > 65535 || SettingProxyServer.trimmed().isEmpty()) {
            answer.error = QStringLiteral("The proxy server %1:%2 is not usable").arg(SettingProxyServer).arg(SettingProxyPort);
            return answer;
        }
        QNetworkProxy proxy(QNetworkProxy::HttpProxy, SettingProxyServer.trimmed(), quint16(SettingProxyPort));
        if (SettingProxyUseAuthentication) {
            proxy.setUser(SettingProxyUser);
            proxy.setPassword(SettingProxyPassword);
        }
        m_net->setProxy(proxy);
    } else {
        m_net->setProxy(QNetworkProxy::NoProxy);
    }

    QNetworkRequest req(url);
    req.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                     followRedirects ? QNetworkRequest::NoLessSafeRedirectPolicy : QNetworkRequest::ManualRedirectPolicy);
    req.setMaximumRedirectsAllowed(5);
    QNetworkReply* reply = verb == "HEAD" ? m_net->head(req) : m_net->get(req);
    reply->setReadBufferSize(ReadBufferBytes);

    QEventLoop loop;
    QTimer idle;
    idle.setSingleShot(true);
    idle.setInterval(TimeoutMs);
    bool timedOut = false;
    bool overTime = false;
    bool tooLarge = false;
    const auto stop = [&](bool& why) {
        why = true;
        reply->abort();
    };
    // A server that sends a little now and then is never idle: the check as a whole ends in time.
    const auto inTime = [&] {
        if (m_checkEnd >= 0 && now() >= m_checkEnd && !overTime)
            stop(overTime);
        return !overTime;
    };
    connect(&idle, &QTimer::timeout, &loop, [&] { stop(timedOut); });
    connect(reply, &QNetworkReply::metaDataChanged, &loop, [&] {
        if (verb == "HEAD") // the length of what a GET would bring
            return;
        const QVariant length = reply->header(QNetworkRequest::ContentLengthHeader);
        if (length.isValid() && length.toLongLong() > maxBytes && !tooLarge)
            stop(tooLarge);
    });
    connect(reply, &QNetworkReply::readyRead, &loop, [&] {
        idle.start();
        if (!inTime() || tooLarge)
            return;
        answer.body += reply->read(maxBytes + 1 - answer.body.size());
        if (answer.body.size() > maxBytes)
            stop(tooLarge);
    });
    connect(reply, &QNetworkReply::downloadProgress, &loop, [&](qint64 received, qint64 total) {
        idle.start();
        if (!inTime() || tooLarge)
            return;
        if (received > maxBytes) {
            stop(tooLarge);
            return;
        }
        if (progress && !answer.cancelled && !progress(received, total)) {
            answer.cancelled = true;
            reply->abort();
        }
    });
    connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
    idle.start();
    if (!reply->isFinished() && inTime())
        loop.exec();
    idle.stop();

    if (!tooLarge && !answer.cancelled && !timedOut && !overTime) {
        answer.body += reply->read(maxBytes + 1 - answer.body.size());
        tooLarge = answer.body.size() > maxBytes;
    }
    answer.status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    const QVariant length = reply->header(QNetworkRequest::ContentLengthHeader);
    answer.length = length.isValid() ? length.toLongLong() : -1;
    if (overTime)
        answer.error = QStringLiteral("The update check took longer than %1 s").arg(CheckLimitMs / 1000.0);
    else if (timedOut)
        answer.error = QStringLiteral("No answer from %1 within %2 s").arg(url.host()).arg(TimeoutMs / 1000.0);
    else if (tooLarge)
        answer.error = QStringLiteral("The answer from %1 is larger than %2 bytes").arg(url.host()).arg(maxBytes);
    else if (answer.cancelled)
        answer.error = QStringLiteral("Cancelled");
    else if (reply->error() != QNetworkReply::NoError && answer.status == 0)
        answer.error = reply->errorString();
    if (!answer.error.isEmpty() || answer.status != 200)
        answer.body.clear();
    reply->deleteLater();
    return answer;
}

qint64 TF_CheckForUpdates::now() const
{
    if (Clock)
        return Clock();
    static QElapsedTimer steady;
    if (!steady.isValid())
        steady.start();
    return steady.elapsed();
}

// ---- check ----

bool TF_CheckForUpdates::IsUpdateAvailable()
{
    B_Update->hide();
    B_Info->hide();
    if (m_busy)
        return false;
    m_busy = true;
    m_checkEnd = now() + CheckLimitMs;
    const int checked = CheckForUpdate();
    m_checkEnd = -1;
    m_busy = false;
    if (checked != 0) {
        append(QString());
        append(QStringLiteral("Update process cancelled."));
        return false;
    }
    append(QStringLiteral("Installed Version:     %1.%2.%3").arg(VersionMajor).arg(VersionMinor).arg(VersionBuild));
    append(QStringLiteral("Latest online Version: %1.%2.%3")
               .arg(UpdateInfo.MainVersion)
               .arg(UpdateInfo.SubVersion)
               .arg(UpdateInfo.Build));
    // Only builds count, not the major and minor numbers.
    if (int(VersionBuild) >= UpdateInfo.Build) {
        append(QStringLiteral("The installed version is up to date!"));
        return false;
    }
    append(QStringLiteral("There is an update available for this product."));
    append(QStringLiteral("Please click Update to download and install the program."));
    B_Update->show();
    B_Info->setVisible(IsWebAddress(QUrl(UpdateInfo.InfoPath)));
    return true;
}

int TF_CheckForUpdates::CheckForUpdate()
{
    M_State->clear();
    append(QStringLiteral("Contacting LUMEK update server"));
    const QUrl address = documentAddress();
    const HttpAnswer probe = request("HEAD", address, false, 0);
    if (probe.status == 0) {
        // Unreachable, refused or silent: said here, not left to a log nobody reads.
        append(QStringLiteral("UPDATE FAILED - ") + probe.error);
        TF_ErrorLog::AddLog(0, QStringLiteral("Update check: ") + probe.error);
        return -1;
    }
    if (probe.status != 200) {
        append(QStringLiteral("UPDATE FAILED - HTTP Error ") + QString::number(probe.status));
        return probe.status;
    }
    append(QStringLiteral("OK"));
    append(QStringLiteral("Retrieving update information"));
    const int result = GetUpdateInfo(address);
    append(result != 0 ? QStringLiteral("FAILED") : QStringLiteral("OK"));
    return result;
}

int TF_CheckForUpdates::GetUpdateInfo(const QUrl& address)
{
    UpdateInfo = TUpdateInfo();
    const HttpAnswer answer = request("GET", address, true, MaxDocumentBytes);
    QString why;
    if (!answer.error.isEmpty())
        why = answer.error;
    else if (answer.status != 200)
        why = QStringLiteral("HTTP Error %1").arg(answer.status);
    else if (ParseVersionInfo(answer.body, UpdateInfo, &why) == 0)
        return 0;
    append(QStringLiteral("Version information not usable: ") + why);
    TF_ErrorLog::AddLog(0, QStringLiteral("Update check: version information not usable: ") + why);
    return -1;
}

// ---- download ----

bool TF_CheckForUpdates::download()
{
    const QUrl address(UpdateInfo.UpdatePath);
    const HttpAnswer probe = request("HEAD", address, true, 0);
    if (probe.status != 200) {
        append(QStringLiteral("UPDATE FAILED - ")
               + (probe.status == 0 ? probe.error : QStringLiteral("HTTP Error ") + QString::number(probe.status)));
        return false;
    }
    append(probe.length >= 0 ? QStringLiteral("Download size:") + QString::number(probe.length / 1024) + QStringLiteral("KB")
                             : QStringLiteral("Download size: unknown"));
    append(QStringLiteral("Downloading 0% done"));

    const HttpAnswer answer = request("GET", address, true, MaxInstallerBytes, [this](qint64 received, qint64 total) {
        // Without a length the percentage is unknown: the bytes so far say how far it got.
        replaceLastLine(total > 0 ? QStringLiteral("Downloading %1% done").arg(100 * received / total)
                                  : QStringLiteral("Downloading %1 KB done").arg(received / 1024));
        if (Tag == 1) {
            if (MessageDlg(QStringLiteral("Cancel download?"), mtConfirmation, mbYesNo) == mrNo) {
                Tag = 0;
            } else {
                Tag = 2;
                return false;
            }
        }
        return true;
    });
    if (Tag != 0 || answer.cancelled) {
        append(QStringLiteral("UPDATE FAILED - Download cancelled by user"));
        return false;
    }
    if (answer.status != 200 || !answer.error.isEmpty()) {
        append(QStringLiteral("UPDATE FAILED - ")
               + (!answer.error.isEmpty() ? answer.error : QStringLiteral("HTTP Error ") + QString::number(answer.status)));
        return false;
    }

    // Saved under the name the address gives, in the user's download folder; never marked
    // executable and never started: the user decides what to do with it.
    QString name = QFileInfo(address.path()).fileName();
    if (name.isEmpty() || name.startsWith(QLatin1Char('.')))
        name = QStringLiteral("j4update.exe");
    QString folder = DownloadFolder;
    if (folder.isEmpty())
        folder = QStandardPaths::writableLocation(QStandardPaths::DownloadLocation);
    if (folder.isEmpty())
        folder = QDir::homePath();
    QDir().mkpath(folder);
    const QString path = QDir(folder).filePath(name);
    if (writeFileAtomically(path, answer.body) != 0) {
        append(QStringLiteral("UPDATE FAILED - the installer cannot be saved to ") + path);
        return false;
    }
    QFile::setPermissions(path, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadGroup
                                    | QFileDevice::ReadOther);
    m_saved = path;
    append(QStringLiteral("OK"));
    append(QStringLiteral("The installer was saved to ") + path + QStringLiteral(". It is not started by JEX4."));
    return true;
}

void TF_CheckForUpdates::B_UpdateClick()
{
    if (m_busy)
        return;
    m_busy = true;
    m_saved.clear();
    B_Cancel->show();
    download();
    B_Cancel->hide();
    Tag = 0;
    m_busy = false;
}

void TF_CheckForUpdates::B_CancelClick()
{
    Tag = 1; // the next progress report asks
}

void TF_CheckForUpdates::B_InfoClick()
{
    ShellOpenUrl(QUrl(UpdateInfo.InfoPath));
}

void TF_CheckForUpdates::Button1Click()
{
    M_State->clear();
    IsUpdateAvailable();
}

void TF_CheckForUpdates::FormShow()
{
    if (Tag == 100) {
        // Asked for at start-up: the download begins once the window stands.
        Tag = 0;
        QTimer::singleShot(0, this, &TF_CheckForUpdates::B_UpdateClick);
        return;
    }
    if (Tag == 0) {
        B_Update->hide();
        B_Info->hide();
        M_State->clear();
    }
}

void TF_CheckForUpdates::showEvent(QShowEvent* event)
{
    if (!event->spontaneous())
        FormShow();
    QDialog::showEvent(event);
}
