#include "workspace/ImageAlignment.h"

#include "platform/Delphi.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <cmath>
#include <map>
#include <set>
#include <utility>

namespace {

// The tools write a few lines per image and per control point: far below this for any series.
constexpr qint64 MaxPTOBytes = 256 * 1024 * 1024;
// Control points whose offsets differ by no more than this are taken to say the same.
constexpr int AgreeingPixels = 3;

bool readNumber(const QString& field, double& value)
{
    if (field.size() < 2)
        return false;
    bool ok = false;
    // C locale: "." is the decimal point whatever the user's settings.
    value = QStringView(field).mid(1).toDouble(&ok);
    return ok && std::isfinite(value) && std::abs(value) < 1e9;
}

} // namespace

PTOContent ParsePTOLines(const QStringList& lines, const QString& folder)
{
    PTOContent content;
    for (QString line : lines) {
        if (line.endsWith(QLatin1Char('\r')))
            line.chop(1);
        if (line.startsWith(QLatin1String("i "))) {
            const qsizetype at = line.indexOf(QLatin1String("n\""));
            QString name = at < 0 ? QString() : line.mid(at + 2);
            name.chop(1); // the closing quote
            // The tools name images beside or below the project file relative to it.
            if (!name.isEmpty() && QFileInfo(name).isRelative() && !folder.isEmpty())
                name = QDir::cleanPath(QDir(folder).filePath(name));
            content.images << name;
        } else if (line.startsWith(QLatin1String("c n"))) {
            content.controlPoints << line;
        }
    }
    return content;
}

bool ReadPTOFile(const QString& fileName, PTOContent& content, QString* error)
{
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly)) {
        if (error)
            *error = file.errorString();
        return false;
    }
    if (file.size() > MaxPTOBytes) {
        if (error)
            *error = QStringLiteral("The file is larger than %1 bytes.").arg(MaxPTOBytes);
        return false;
    }
    const QByteArray bytes = file.read(MaxPTOBytes + 1);
    if (bytes.size() > MaxPTOBytes) {
        if (error)
            *error = QStringLiteral("The file is larger than %1 bytes.").arg(MaxPTOBytes);
        return false;
    }
    content = ParsePTOLines(QString::fromUtf8(bytes).split(QLatin1Char('\n')), QFileInfo(fileName).absolutePath());
    return true;
}

bool ParseControlPointLine(const QString& line, ControlPointNumbers& numbers)
{
    const QStringList fields = line.split(QLatin1Char(' '), Qt::SkipEmptyParts);
    if (fields.size() < 7 || fields[0] != QLatin1String("c"))
        return false;
    double v[6];
    for (int i = 0; i < 6; ++i)
        if (!readNumber(fields[i + 1], v[i]))
            return false;
    numbers.index1 = Round(v[0]);
    numbers.index2 = Round(v[1]);
    numbers.x1 = Round(v[2]);
    numbers.y1 = Round(v[3]);
    numbers.x2 = Round(v[4]);
    numbers.y2 = Round(v[5]);
    return numbers.index1 >= 0 && numbers.index2 >= 0;
}

std::vector<TControlPoint> MakeControlPoints(const PTOContent& pto,
                                             const std::function<TStitchObject*(const QString&)>& imageOf)
{
    std::vector<TControlPoint> points;
    for (const QString& line : pto.controlPoints) {
        ControlPointNumbers n;
        if (!ParseControlPointLine(line, n) || n.index1 == n.index2 || n.index1 >= pto.images.size()
            || n.index2 >= pto.images.size())
            continue;
        TStitchObject* so1 = imageOf(pto.images[n.index1]);
        TStitchObject* so2 = imageOf(pto.images[n.index2]);
        if (!so1 || !so2 || so1 == so2)
            continue;
        if (n.index1 > n.index2) {
            std::swap(n.index1, n.index2);
            std::swap(n.x1, n.x2);
            std::swap(n.y1, n.y2);
            std::swap(so1, so2);
        }
        TControlPoint cp;
        cp.SO1 = so1;
        cp.SO2 = so2;
        cp.Index1 = n.index1;
        cp.Index2 = n.index2;
        cp.X1 = n.x1;
        cp.Y1 = n.y1;
        cp.X2 = n.x2;
        cp.Y2 = n.y2;
        points.push_back(cp);
    }
    // Pairs are numbered by their image numbers: with linear matching image k is placed after
    // image k - 1 has been.
    std::set<std::pair<int, int>> pairs;
    for (const TControlPoint& cp : points)
        pairs.insert({cp.Index1, cp.Index2});
    std::map<std::pair<int, int>, int> numberOf;
    for (const auto& pair : pairs)
        numberOf.emplace(pair, int(numberOf.size()));
    for (TControlPoint& cp : points)
        cp.Pairing = numberOf.at({cp.Index1, cp.Index2});
    return points;
}

AlignmentOutcome PlaceImages(const std::vector<std::unique_ptr<TStitchObject>>& images,
                             const std::vector<TControlPoint>& points, int imageCount)
{
    AlignmentOutcome outcome;
    int top = -1;
    for (const TControlPoint& cp : points)
        top = std::max(top, cp.Pairing);

    std::set<int> placed; // images, by number, that follow a partner
    for (int p = 0; p <= top; ++p) {
        std::vector<QPoint> offsets;
        const TControlPoint* last = nullptr;
        for (const TControlPoint& cp : points)
            if (cp.Pairing == p && cp.SO1 && cp.SO2) {
                offsets.emplace_back(cp.X2 - cp.X1, cp.Y2 - cp.Y1);
                last = &cp;
            }
        if (!last)
            continue;
        // Rings repeat along a core: the tools also pair a ring with a look-alike a few rings
        // away. The offset most points agree on wins, and only those points are averaged; the
        // mean of all would put the image somewhere between the two.
        const auto agree = [](QPoint a, QPoint b) {
            return std::abs(a.x() - b.x()) <= AgreeingPixels && std::abs(a.y() - b.y()) <= AgreeingPixels;
        };
        size_t best = 0;
        int bestVotes = -1;
        for (size_t i = 0; i < offsets.size(); ++i) {
            const int votes = int(std::count_if(offsets.begin(), offsets.end(), [&](QPoint o) { return agree(o, offsets[i]); }));
            if (votes > bestVotes) {
                bestVotes = votes;
                best = i;
            }
        }
        qint64 sumX = 0, sumY = 0;
        int count = 0;
        for (const QPoint& o : offsets)
            if (agree(o, offsets[best])) {
                sumX += o.x();
                sumY += o.y();
                ++count;
            }
        TStitchObject* so1 = last->SO1;
        TStitchObject* so2 = last->SO2;
        outcome.pairings.push_back({so1, so2, int(offsets.size())});
        placed.insert(last->Index2);
        // The offsets are in the files' pixels; the canvas shows each picture without its border.
        const int dx = Round(double(sumX) / count) - (std::max(0, so2->DropBorder) - std::max(0, so1->DropBorder));
        const int dy = Round(double(sumY) / count) - (std::max(0, so2->DropBorder) - std::max(0, so1->DropBorder));
        const QPoint target(so1->x - dx, so1->y - dy);
        if (target != QPoint(so2->x, so2->y))
            outcome.moved = true;
        so2->x = target.x();
        so2->y = target.y();
    }
    for (int k = 1; k < imageCount; ++k)
        if (!placed.count(k))
            outcome.warning = true;

    int minX = 5000000, minY = 5000000;
    for (const auto& so : images) {
        minX = std::min(minX, so->x);
        minY = std::min(minY, so->y);
    }
    if (!images.empty() && (minX != 0 || minY != 0)) {
        for (const auto& so : images) {
            so->x -= minX;
            so->y -= minY;
        }
        outcome.moved = true;
    }
    return outcome;
}
