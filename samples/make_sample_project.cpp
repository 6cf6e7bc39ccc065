// Writes the sample project: make_sample_project <folder> puts the synthetic core image core.jpg and
// the project sample.jex4 into the folder. The project's one path runs along the core's middle row
// with its index point on the first ring border and a measurement point on each further border.
#include "samples/SampleCore.h"

#include "image/TFastDIB.h"
#include "platform/Dialogs.h"
#include "project/Helpers.h"
#include "project/JEX4_Objects.h"
#include "project/PathDistances.h"
#include "project/ProjectXML.h"
#include "project/Settings.h"
#include "workspace/TF_Measurements.h"
#include "workspace/TF_SMDI.h"

#include <QApplication>
#include <QDir>
#include <QImageWriter>

#include <cstdio>
#include <memory>

namespace {

// No one is there to answer a box: its text goes to standard error.
class ConsoleDialogs : public Dialogs {
public:
    int messageDlg(const QString& text, TMsgDlgType, TMsgDlgButtons buttons, int) override
    {
        std::fprintf(stderr, "make_sample_project: %s\n", qPrintable(text));
        return escapeResultOf(buttons);
    }
    void showMessage(const QString& text) override { std::fprintf(stderr, "make_sample_project: %s\n", qPrintable(text)); }
    bool inputQuery(const QString&, const QString&, QString&) override { return false; }
    int messageDlgWithCheckBox(const QString&, const QString&, const QString&, bool&) override { return mrNo; }
    FileDialogAnswer openFile(const FileDialogRequest&) override { return {}; }
    FileDialogAnswer openFiles(const FileDialogRequest&) override { return {}; }
    FileDialogAnswer saveFile(const FileDialogRequest&) override { return {}; }
    QString selectDirectory(const QString&, const QString&) override { return {}; }
};

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_sample_project <folder>\n");
        return 2;
    }
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    InitSettingVariables();
    setDialogs(std::make_unique<ConsoleDialogs>());

    const QDir folder(QString::fromLocal8Bit(argv[1]));
    if (!folder.exists() && !QDir().mkpath(folder.path())) {
        std::fprintf(stderr, "make_sample_project: cannot create %s\n", argv[1]);
        return 1;
    }
    // The project names its image by full path, as the program does.
    const QString imageFile = folder.absoluteFilePath(QStringLiteral("core.jpg"));
    const QString projectFile = folder.absoluteFilePath(QStringLiteral("sample.jex4"));

    samples::CoreRecipe recipe; // 6000 x 600 at 2400 dpi
    QImage core = samples::makeCore(recipe);
    const int dpm = int(recipe.dpi / 0.0254 + 0.5); // dots per metre
    core.setDotsPerMeterX(dpm);
    core.setDotsPerMeterY(dpm);
    QImageWriter writer(imageFile, "jpeg");
    writer.setQuality(95);
    if (!writer.write(core)) {
        std::fprintf(stderr, "make_sample_project: %s: %s\n", qPrintable(imageFile), qPrintable(writer.errorString()));
        return 1;
    }

    auto window = std::make_unique<TF_SMDI>();
    window->DPI = recipe.dpi;
    window->Project->Name = QStringLiteral("Sample core");

    auto image = std::make_unique<TStitchObject>();
    image->filename = imageFile;
    image->DropBorder = 0; // a border would move the picture off the points
    image->Visible = true;
    try {
        if (LoadPictureToDIB(*image->FD, imageFile) != 0)
            throw EInvalidGraphic(imageFile + QStringLiteral(" is missing"));
    } catch (const EInvalidGraphic& e) {
        std::fprintf(stderr, "make_sample_project: %s\n", qPrintable(e.message()));
        return 1;
    }
    image->Width = image->FD->Info.Header.Width;
    image->Height = image->FD->AbsHeight;
    image->Loaded = true;
    window->StitchList.push_back(std::move(image));

    // A new window starts with one empty path; the points go there.
    TPath* path = window->PathList.front().get();
    path->GUID = NewGUIDString();
    const int row = recipe.height / 2;
    const QVector<int> borders = samples::ringBorders(recipe);
    TIndex* index = nullptr;
    for (int x : borders) {
        if (!index) {
            auto first = std::make_unique<TIndex>();
            first->Pos = QPoint(x, row);
            first->Path = path;
            index = first.get();
            path->ObjectList.push_back(std::move(first));
            continue;
        }
        auto m = std::make_unique<TMeasurement>();
        m->Pos = QPoint(x, row);
        m->Path = path;
        m->Index = index;
        index->ObjectList.push_back(std::move(m));
    }
    TF_Measurements::CountMeasurements(window.get(), path);
    RecomputeDistances(path);
    window->CurrentPath = path;
    window->UpdateArea();

    if (SaveProjectXML(window.get(), projectFile, false) != 0) {
        std::fprintf(stderr, "make_sample_project: cannot write %s\n", qPrintable(projectFile));
        return 1;
    }
    std::printf("%s\n%s\n", qPrintable(imageFile), qPrintable(projectFile));
    return 0;
}
