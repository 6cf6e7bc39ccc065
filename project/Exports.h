// The four text exports of a path: Heidelberg, Tucson decadal (RWL), free ASCII ring widths and
// ASCII point coordinates. Pure text from the model, no widgets; the export wizard shows the lines
// in its memos and saves them as Windows-1252 with CR LF.
#pragma once

#include <QString>
#include <QStringList>
#include <QVector>

class TPath;

// One exported ring: its width in the chosen unit, rounded and as computed, and the point's comment.
struct RingValue {
    int width = 0;
    QString info;
    double exact = 0.0;
};

// The path's ring widths from the point positions (recomputed first, so a path that was never
// painted or is hidden still gives its true widths), in `units` (see PixelsToUnit) at `dpi`.
QVector<RingValue> ringValues(TPath& path, int units, int dpi);
QVector<int> widthsOf(const QVector<RingValue>& values);
QVector<double> exactWidthsOf(const QVector<RingValue>& values);

// Heidelberg and Tucson values are hundredths of a millimetre whatever unit the tree shows: the
// readers of both formats (and Tucson's 999 stop marker) take them so, and whole millimetres
// would round most rings to 0 or 1.
inline constexpr int RingWidthFileUnits = 3;

// --- Heidelberg -------------------------------------------------------------------------------

struct HeidelbergHeader {
    QString keycode;  // the series text: keycode entry followed by the path name
    QString species;  // each of the next three is written only when not empty
    QString location;
    QString comment;
};

// "HEADER:", the key lines, "Length=", "DATA:Tree" and the values in blocks of ten. A block holding
// a comment gets one line per value with ";;" and the comment; any other block one line of ten
// fields padded with 0. A count that is a multiple of ten (0 too) ends with a line of ten 0.
QStringList heidelbergLines(const HeidelbergHeader& header, const QVector<RingValue>& values);

// --- Tucson decadal ---------------------------------------------------------------------------

// The 6-character series identifier of the k-th exported path: the prefix cut or filled up with
// "0" to 6 - length(k) characters, then k.
QString tucsonIdentifier(const QString& prefix, int k);

// Ten values a line after the identifier and the year field (" " + the first ring's number with
// four digits); each value right-aligned in six characters; the series ends with "   999", alone
// on a further line when the last one is full or there are no values.
QStringList tucsonLines(const QString& identifier, const QVector<int>& widths);

// --- Free ASCII -------------------------------------------------------------------------------

struct AsciiOptions {
    int decimals = 0;       // see asciiDecimals
    int valuesPerLine = 10; // 1..10
    QString separator = QStringLiteral(" "); // follows every value when more than one per line
    int fillLength = 6;     // numbers are filled on the left to this length when above 0
    QChar fill = QLatin1Char(' ');
};

// Decimal places that keep a hundredth of a millimetre in `units` (see PixelsToUnit): whole
// centimetres or inches would write most rings as 0. Hundredths of a millimetre and pixels get none,
// so the default unit writes the same whole numbers as the other exports.
int asciiDecimals(int units);
// One value with `decimals` places and a point as decimal mark in every locale; with none, rounded
// as the other exports round.
QString asciiNumber(double value, int decimals);

// The path's name, then the values in lines of `valuesPerLine`; a partly filled last line too. The
// fill length counts the whole number, decimals included.
QStringList asciiLines(const QString& name, const QVector<double>& widths, const AsciiOptions& options);

// --- ASCII coordinates ------------------------------------------------------------------------

struct CoordinateOptions {
    bool header = true;
    bool includePathName = true; // else an empty line stands for the path
    bool indexPoints = true;
    bool measurementPoints = true;
    QString separator = QStringLiteral("\t");
};

// "Type", "X", "Y", "Comment" joined by the separator.
QString coordinateHeaderLine(const QString& separator);
// The path's line, then "I" per index point and "M" per measurement point with the canvas
// position and the comment.
QStringList coordinateLines(const TPath& path, const CoordinateOptions& options);

// --- Entries of the wizard's lists -----------------------------------------------------------

// The separator entries "TAB (ASCII Code 9)", "SPC (ASCII Code 32)", "COMMA (ASCII Code 44)",
// "NULLSTRING" and what each gives; no selection (-1) or an unknown index gives a space.
QStringList separatorEntries();
QString separatorOf(int entryIndex);
// "SPC (ASCII Code 32)", "ZERO (ASCII Code 48)"; no selection gives a space.
QStringList fillEntries();
QChar fillOf(int entryIndex);
// The 116 species codes of the International Tree-Ring Data Bank, in list order.
QStringList speciesCodes();
