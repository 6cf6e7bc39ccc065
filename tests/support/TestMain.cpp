// Test entry point: offscreen Qt, the C locale, fresh private XDG folders for every test so that
// settings, data and runtime files never touch the real home, and scripted dialogs.
#include "platform/Dialogs.h"
#include "platform/FakeDialogs.h"
#include "support/LocaleScope.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>

namespace {

class FreshXdgFolders : public testing::EmptyTestEventListener {
public:
    void OnTestStart(const testing::TestInfo&) override
    {
        m_dir = std::make_unique<QTemporaryDir>();
        const QByteArray root = m_dir->path().toLocal8Bit();
        for (const char* name : {"XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_CACHE_HOME", "XDG_RUNTIME_DIR", "HOME"}) {
            const QByteArray path = root + "/" + QByteArray(name).toLower();
            QDir().mkpath(QString::fromLocal8Bit(path));
            QFile::setPermissions(QString::fromLocal8Bit(path), QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
            qputenv(name, path);
        }
        // A real modal dialog would hang an offscreen test: every test starts with a fake that
        // answers from its script; tests that want the real dialogs put them back themselves.
        setDialogs(std::make_unique<FakeDialogs>());
    }
    void OnTestEnd(const testing::TestInfo&) override { m_dir.reset(); }

private:
    std::unique_ptr<QTemporaryDir> m_dir;
};

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    // The update check at start-up meets a closed port at once instead of the maker's server.
    qputenv("JEX4_UPDATE_SERVER", "http://127.0.0.1:9");
    testing::InitGoogleTest(&argc, argv);
    QApplication app(argc, argv);
    // The application object takes the user's locale from the environment; expected texts are
    // written for C, and the tests that need another locale switch to it themselves.
    testhelpers::useCLocale();
    testing::UnitTest::GetInstance()->listeners().Append(new FreshXdgFolders);
    return RUN_ALL_TESTS();
}
