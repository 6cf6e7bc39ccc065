#include "platform/Delphi.h"

#include "support/LocaleScope.h"

#include <gtest/gtest.h>

#include <climits>
#include <clocale>
#include <cmath>
#include <limits>

namespace {

const double kNan = std::numeric_limits<double>::quiet_NaN();
const double kInf = std::numeric_limits<double>::infinity();

TEST(DelphiArithmetic, RoundHalvesGoToTheEvenNeighbour)
{
    struct Row { double in; int out; };
    const Row rows[] = {
        {0.5, 0}, {1.5, 2}, {2.5, 2}, {3.5, 4}, {-0.5, 0}, {-1.5, -2}, {-2.5, -2},
        {0.49999999999999994, 0}, {2.5000000001, 3}, {-2.7, -3}, {1e10, INT_MAX}, {-1e10, INT_MIN},
        {kNan, 0}, {kInf, INT_MAX}, {-kInf, INT_MIN},
    };
    for (const Row& r : rows)
        EXPECT_EQ(Round(r.in), r.out) << "Round(" << r.in << ")";
    EXPECT_EQ(Round64(4294967296.5), 4294967296LL);
    EXPECT_EQ(Round64(-4294967297.5), -4294967298LL);
    EXPECT_EQ(Round64(1e300), std::numeric_limits<qint64>::max());
}

TEST(DelphiArithmetic, TruncIntAndFracDropTowardZero)
{
    struct Row { double in; int trunc; double intPart; double frac; };
    const Row rows[] = {
        {2.75, 2, 2.0, 0.75}, {-2.75, -2, -2.0, -0.75}, {0.0, 0, 0.0, 0.0}, {-0.5, 0, -0.0, -0.5},
        {1e12, INT_MAX, 1e12, 0.0},
    };
    for (const Row& r : rows) {
        EXPECT_EQ(Trunc(r.in), r.trunc) << r.in;
        EXPECT_EQ(Int(r.in), r.intPart) << r.in;
        EXPECT_EQ(Frac(r.in), r.frac) << r.in;
    }
    EXPECT_EQ(Trunc64(-5e12 - 0.9), -5000000000000LL);
}

TEST(DelphiArithmetic, DivTruncatesAndNeverTraps)
{
    EXPECT_EQ(Div(7, 2), 3);
    EXPECT_EQ(Div(-7, 2), -3);
    EXPECT_EQ(Div(7, -2), -3);
    EXPECT_EQ(Div(-7, -2), 3);
    EXPECT_EQ(Div(INT_MIN, -1), INT_MIN);
    EXPECT_EQ(Div(qint64(1) << 40, 3), 366503875925LL);
    EXPECT_EQ(Div(5, qint64(1) << 40), 0); // mixed widths give the wider type
    EXPECT_THROW(Div(1, 0), std::domain_error);
}

TEST(DelphiArithmetic, MulDivRoundsHalvesAwayFromZeroWith64BitProduct)
{
    struct Row { int a, b, c, out; };
    const Row rows[] = {
        {1, 1, 2, 1},      {3, 1, 2, 2},       {5, 1, 2, 3},     {-1, 1, 2, -1},   {-3, 1, 2, -2},
        {1, -3, 2, -2},    {3, 1, -2, -2},     {-3, -1, -2, -2}, {1, 1, 3, 0},     {2, 1, 3, 1},
        {100000, 100000, 100000, 100000},      // product beyond 32 bits
        {INT_MAX, 2, 2, INT_MAX},               {INT_MIN, 1, 1, -1}, // -2^31 does not fit
        {INT_MAX, INT_MAX, 1, -1},              // overflow
        {7, 3, 0, -1},                          // zero divisor
        {200, 50, 100, 100},                    // the colour-bias step: c + c * p / 100
    };
    for (const Row& r : rows)
        EXPECT_EQ(MulDiv(r.a, r.b, r.c), r.out) << "MulDiv(" << r.a << ", " << r.b << ", " << r.c << ")";
}

// The tables of number texts run once under C and once more under a decimal-comma locale.
void expectFloatToStrFTexts()
{
    struct Row { double value; TFloatFormat format; int precision, digits; const char* out; };
    const Row rows[] = {
        // Fixed: significant digits first, then padded to the decimals.
        {123.456, ffFixed, 4, 3, "123.500"},
        {123.456, ffFixed, 15, 2, "123.46"},
        {1.25, ffFixed, 6, 2, "1.25"},
        {1.005, ffFixed, 15, 2, "1.01"},       // halves away from zero on the decimal digits
        {2.675, ffFixed, 15, 2, "2.68"},
        {0.125, ffFixed, 15, 2, "0.13"},
        {-0.125, ffFixed, 15, 2, "-0.13"},
        {2.5, ffFixed, 15, 0, "3"},
        {1.2345, ffFixed, 4, 3, "1.235"},
        {9.999, ffFixed, 4, 2, "10.00"},
        {0.004, ffFixed, 15, 2, "0.00"},
        {-0.004, ffFixed, 15, 2, "0.00"},      // no "-0.00"
        {0.005, ffFixed, 15, 2, "0.01"},
        {0.0001, ffFixed, 15, 2, "0.00"},
        {0.0, ffFixed, 4, 2, "0.00"},
        {1234.5678, ffFixed, 6, 2, "1234.57"},
        {1.25, ffFixed, 3, 2, "1.25"},         // the resample caption's ratio
        {1000.0 / 800.0, ffFixed, 3, 2, "1.25"},
        {1.0 / 3.0, ffFixed, 3, 2, "0.33"},
        {4.0 / 3.0, ffFixed, 3, 2, "1.33"},
        {0.3333333, ffFixed, 4, 6, "0.333300"},
        // Fixed switches to the general exponent form when the integer part exceeds the precision.
        {12345.6, ffFixed, 4, 2, "1.235E4"},
        {9999.6, ffFixed, 4, 2, "1E4"},        // rounding adds the fifth integer digit
        {9999.4, ffFixed, 4, 2, "9999.00"},
        {-123456.0, ffFixed, 4, 1, "-1.235E5"},
        {1e20, ffFixed, 15, 2, "1E20"},
        // Number: fixed with thousands separators.
        {1234567.891, ffNumber, 15, 2, "1,234,567.89"},
        {-1234.5, ffNumber, 15, 0, "-1,235"},
        {999.5, ffNumber, 15, 0, "1,000"},
        {12.5, ffNumber, 15, 1, "12.5"},
        // General: shortest, trailing zeros dropped.
        {0.1 + 0.2, ffGeneral, 15, 0, "0.3"},
        {1234.5678, ffGeneral, 4, 0, "1235"},
        {12345.0, ffGeneral, 4, 0, "1.235E4"},
        {10000.0, ffGeneral, 4, 0, "1E4"},
        {0.0001, ffGeneral, 15, 0, "0.0001"},
        {0.00001, ffGeneral, 15, 0, "1E-5"},
        {1.5e-7, ffGeneral, 15, 0, "1.5E-7"},
        {1.5e-7, ffGeneral, 15, 3, "1.5E-007"},
        {100.0, ffGeneral, 15, 0, "100"},
        {-0.5, ffGeneral, 15, 0, "-0.5"},
        {0.0, ffGeneral, 15, 0, "0"},
        {3.0 * 3.0 * 1024 * 1024 / 1048576.0, ffGeneral, 4, 0, "9"},
        {2.3456789, ffGeneral, 4, 0, "2.346"},
        // Exponent: always the full precision and a signed exponent.
        {1234.5, ffExponent, 4, 2, "1.235E+03"},
        {-0.00012345, ffExponent, 3, 0, "-1.23E-4"},
        {0.0, ffExponent, 4, 2, "0.000E+00"},
        {5.0, ffExponent, 1, 1, "5E+0"},
        // Not numbers.
        {kNan, ffFixed, 15, 2, "NAN"}, {kInf, ffGeneral, 15, 0, "INF"}, {-kInf, ffNumber, 15, 2, "-INF"},
    };
    for (const Row& r : rows)
        EXPECT_EQ(FloatToStrF(r.value, r.format, r.precision, r.digits), QString::fromLatin1(r.out))
            << "value " << r.value << " format " << r.format << " precision " << r.precision << " digits " << r.digits;
}

void expectFloatToStrTexts()
{
    struct Row { double value; const char* out; };
    const Row rows[] = {
        {0.1 + 0.2, "0.3"}, {1e20, "1E20"}, {1e15, "1E15"}, {123456789012345.0, "123456789012345"},
        {1.0 / 3.0, "0.333333333333333"}, {-2.5, "-2.5"}, {1e-10, "1E-10"},
    };
    for (const Row& r : rows)
        EXPECT_EQ(FloatToStr(r.value), QString::fromLatin1(r.out)) << r.value;
}

void expectFormatFloatTexts()
{
    struct Row { const char* format; double value; const char* out; };
    const Row rows[] = {
        // The classic table: 1234, -1234, 0.5, 0 per picture.
        {"", 1234, "1234"}, {"", -1234, "-1234"}, {"", 0.5, "0.5"}, {"", 0, "0"},
        {"0", 1234, "1234"}, {"0", -1234, "-1234"}, {"0", 0.5, "1"}, {"0", 0, "0"},
        {"0.00", 1234, "1234.00"}, {"0.00", -1234, "-1234.00"}, {"0.00", 0.5, "0.50"}, {"0.00", 0, "0.00"},
        {"#.##", 1234, "1234"}, {"#.##", -1234, "-1234"}, {"#.##", 0.5, ".5"}, {"#.##", 0, ""},
        {"#,##0.00", 1234, "1,234.00"}, {"#,##0.00", -1234, "-1,234.00"}, {"#,##0.00", 0.5, "0.50"}, {"#,##0.00", 0, "0.00"},
        {"#,##0.00;(#,##0.00)", 1234, "1,234.00"}, {"#,##0.00;(#,##0.00)", -1234, "(1,234.00)"},
        {"#,##0.00;(#,##0.00)", 0.5, "0.50"}, {"#,##0.00;(#,##0.00)", 0, "0.00"},
        {"#,##0.00;;Zero", 1234, "1,234.00"}, {"#,##0.00;;Zero", -1234, "-1,234.00"},
        {"#,##0.00;;Zero", 0.5, "0.50"}, {"#,##0.00;;Zero", 0, "Zero"},
        {"0.000E+00", 1234, "1.234E+03"}, {"0.000E+00", -1234, "-1.234E+03"},
        {"0.000E+00", 0.5, "5.000E-01"}, {"0.000E+00", 0, "0.000E+00"},
        {"#.###E-0", 1234, "1.234E3"}, {"#.###E-0", -1234, "-1.234E3"}, {"#.###E-0", 0.5, "5E-1"}, {"#.###E-0", 0, "0E0"},
        // Rounding on decimal digits, half away from zero.
        {"0.00", 1.005, "1.01"}, {"0.00", 2.675, "2.68"}, {"0.00", 0.125, "0.13"}, {"0.00", -0.125, "-0.13"},
        {"0", 2.5, "3"}, {"0", -2.5, "-3"}, {"0.0", 0.05, "0.1"}, {"0.0", 9.96, "10.0"},
        {"0.000", 1.0005, "1.001"}, {"0.000", 12.3456, "12.346"},
        {"#0.00", 0.5, "0.50"}, {"#0.00", 12.345, "12.35"}, {"#0.00", 1e6, "1000000.00"},
        {"#,##0.00", 1234567.891, "1,234,567.89"}, {"#,##0.00", 999.999, "1,000.00"}, {"#,##0.00", 100, "100.00"},
        // Values that round to zero carry no sign and take the zero section.
        {"0.00", -0.001, "0.00"}, {"0.00;(0.00);nil", 0.001, "nil"}, {"0.00;(0.00)", -0.001, "0.00"},
        // Literals and fixed digits.
        {"0.0 \"mm\"", 12.34, "12.3 mm"}, {"'x'0", 7, "x7"}, {"00000", 42, "00042"}, {"0.##", 1.0, "1"},
        {"0.##", 1.5, "1.5"}, {"Value: 0", -3, "-Value: 3"},
        // Too large for a picture: the general form.
        {"0.00", 1e20, "1E20"},
    };
    for (const Row& r : rows)
        EXPECT_EQ(FormatFloat(QString::fromLatin1(r.format), r.value), QString::fromLatin1(r.out))
            << "FormatFloat(\"" << r.format << "\", " << r.value << ")";
}

TEST(DelphiFormat, FloatToStrFFollowsPrecisionThenDigits)
{
    expectFloatToStrFTexts();
}

TEST(DelphiFormat, FloatToStrIsGeneralWithFifteenDigits)
{
    expectFloatToStrTexts();
}

TEST(DelphiFormat, FormatFloatPictures)
{
    expectFormatFloatTexts();
}

TEST(DelphiConvert, IntegerTexts)
{
    struct Row { const char* text; bool ok; int value; };
    const Row rows[] = {
        {"0", true, 0}, {"42", true, 42}, {"  42", true, 42}, {"\t7", true, 7}, {"-17", true, -17}, {"+5", true, 5},
        {"$1F", true, 31}, {"$ff", true, 255}, {"0x10", true, 16}, {"-$10", true, -16}, {"$FFFFFFFF", true, -1},
        {"2147483647", true, INT_MAX}, {"-2147483648", true, INT_MIN},
        {"2147483648", false, 0}, {"$100000000", false, 0}, {"", false, 0}, {"  ", false, 0}, {"-", false, 0},
        {"$", false, 0}, {"42 ", false, 0}, {"4 2", false, 0}, {"1.0", false, 0}, {"abc", false, 0}, {"12a", false, 0},
        {"$G1", false, 0}, {"--1", false, 0}, {"99999999999999999999", false, 0},
    };
    for (const Row& r : rows) {
        const QString text = QString::fromLatin1(r.text);
        int value = 12345;
        EXPECT_EQ(TryStrToInt(text, value), r.ok) << '"' << r.text << '"';
        if (r.ok) {
            EXPECT_EQ(value, r.value) << r.text;
            EXPECT_EQ(StrToIntDef(text, -99), r.value) << r.text;
            EXPECT_EQ(StrToInt(text), r.value) << r.text;
        } else {
            EXPECT_EQ(value, 12345) << "untouched on failure: " << r.text;
            EXPECT_EQ(StrToIntDef(text, -99), -99) << r.text;
            EXPECT_THROW(StrToInt(text), EConvertError) << r.text;
        }
    }
    try {
        StrToInt(QStringLiteral("x1"));
        ADD_FAILURE() << "no exception";
    } catch (const EConvertError& e) {
        EXPECT_EQ(e.message(), QStringLiteral("'x1' is not a valid integer value"));
    }
}

void expectFloatTextsRead()
{
    struct Row { const char* text; bool ok; double value; };
    const Row rows[] = {
        {"1.5", true, 1.5}, {" -2.25 ", true, -2.25}, {"+3", true, 3}, {".5", true, 0.5}, {"5.", true, 5},
        {"1e3", true, 1000}, {"1.5E-2", true, 0.015}, {"-0", true, 0},
        {"", false, 0}, {"1,5", false, 0}, {"1.5.2", false, 0}, {"e3", false, 0}, {"1e", false, 0}, {"1e+", false, 0},
        {"abc", false, 0}, {"1 000", false, 0}, {"INF", false, 0}, {"NAN", false, 0}, {"1e999", false, 0}, {".", false, 0},
    };
    for (const Row& r : rows) {
        const QString text = QString::fromLatin1(r.text);
        EXPECT_EQ(StrToFloatDef(text, -7.5), r.ok ? r.value : -7.5) << '"' << r.text << '"';
        if (r.ok)
            EXPECT_EQ(StrToFloat(text), r.value) << r.text;
        else
            EXPECT_THROW(StrToFloat(text), EConvertError) << r.text;
    }
}

TEST(DelphiConvert, FloatTexts)
{
    expectFloatTextsRead();
}

// Number texts go into files and are read from them: a decimal comma in the user's locale changes
// none of them.
TEST(DelphiLocale, NumberTextsAreTheSameUnderADecimalCommaLocale)
{
    testhelpers::LocaleScope german(testhelpers::GermanLocale);
    if (!german.active())
        GTEST_SKIP() << "locale " << testhelpers::GermanLocale << " is not installed (tools/install-deps.sh makes it)";
    ASSERT_EQ(QLocale().decimalPoint(), QStringLiteral(","));
    ASSERT_STREQ(std::localeconv()->decimal_point, ",");
    expectFloatToStrFTexts();
    expectFloatToStrTexts();
    expectFormatFloatTexts();
    expectFloatTextsRead();
}

TEST(DelphiConvert, BooleanTexts)
{
    struct Row { const char* text; bool ok; bool value; };
    const Row rows[] = {
        {"True", true, true}, {"true", true, true}, {"TRUE", true, true}, {"False", true, false}, {"fAlSe", true, false},
        {"-1", true, true}, {"1", true, true}, {"2", true, true}, {"0", true, false}, {"0.0", true, false}, {"0.5", true, true},
        {"yes", false, false}, {"", false, false}, {"T", false, false}, {" True", false, false},
    };
    for (const Row& r : rows) {
        const QString text = QString::fromLatin1(r.text);
        bool value = false;
        EXPECT_EQ(TryStrToBool(text, value), r.ok) << '"' << r.text << '"';
        if (r.ok) {
            EXPECT_EQ(value, r.value) << r.text;
            EXPECT_EQ(StrToBool(text), r.value) << r.text;
            EXPECT_EQ(StrToBoolDef(text, !r.value), r.value) << r.text;
        } else {
            EXPECT_THROW(StrToBool(text), EConvertError) << r.text;
            EXPECT_TRUE(StrToBoolDef(text, true)) << r.text;
        }
    }
    EXPECT_EQ(BoolToStr(true), QStringLiteral("-1"));
    EXPECT_EQ(BoolToStr(false), QStringLiteral("0"));
    EXPECT_EQ(BoolToStr(true, true), QStringLiteral("True"));
    EXPECT_EQ(BoolToStr(false, true), QStringLiteral("False"));
    for (bool b : {false, true})
        EXPECT_EQ(StrToBool(BoolToStr(b)), b);
    EXPECT_EQ(IntToStr(-42), QStringLiteral("-42"));
    EXPECT_EQ(IntToStr(qint64(1) << 40), QStringLiteral("1099511627776"));
}

TEST(DelphiFileNames, SplitOnBothDelimiters)
{
    struct Row { const char* in; const char* name; const char* path; const char* dir; const char* ext; };
    const Row rows[] = {
        {"/data/cores/A12.jpg", "A12.jpg", "/data/cores/", "/data/cores", ".jpg"},
        {"C:\\Cores\\A12.JPG", "A12.JPG", "C:\\Cores\\", "C:\\Cores", ".JPG"},
        {"D:\\mixed/dir\\core.tar.gz", "core.tar.gz", "D:\\mixed/dir\\", "D:\\mixed/dir", ".gz"},
        {"C:\\A12.jpg", "A12.jpg", "C:\\", "C:\\", ".jpg"},
        {"/core", "core", "/", "/", ""},
        {"core.jex4", "core.jex4", "", "", ".jex4"},
        {"/data.d/core", "core", "/data.d/", "/data.d", ""},
        {"/data/", "", "/data/", "/data", ""},
        {"/data/.hidden", ".hidden", "/data/", "/data", ".hidden"},
        {"//share/x", "x", "//share/", "//share", ""},
        {"a//b", "b", "a//", "a//", ""},
        {"", "", "", "", ""},
    };
    for (const Row& r : rows) {
        const QString in = QString::fromLatin1(r.in);
        EXPECT_EQ(ExtractFileName(in), QString::fromLatin1(r.name)) << r.in;
        EXPECT_EQ(ExtractFilePath(in), QString::fromLatin1(r.path)) << r.in;
        EXPECT_EQ(ExtractFileDir(in), QString::fromLatin1(r.dir)) << r.in;
        EXPECT_EQ(ExtractFileExt(in), QString::fromLatin1(r.ext)) << r.in;
    }
}

TEST(DelphiFileNames, ChangeExtensionAndTrailingDelimiters)
{
    struct Row { const char* in; const char* ext; const char* out; };
    const Row rows[] = {
        {"/d/core.jpg", ".png", "/d/core.png"}, {"/d/core", ".bmp", "/d/core.bmp"},
        {"/d/core.tar.gz", "", "/d/core.tar"}, {"C:\\a.b\\core", ".jex4", "C:\\a.b\\core.jex4"},
        {"core.JPG", ".jpg", "core.jpg"},
    };
    for (const Row& r : rows)
        EXPECT_EQ(ChangeFileExt(QString::fromLatin1(r.in), QString::fromLatin1(r.ext)), QString::fromLatin1(r.out)) << r.in;

    struct Delim { const char* in; const char* with; const char* without; };
    const Delim delims[] = {
        {"/data", "/data/", "/data"}, {"/data/", "/data/", "/data"}, {"C:\\x\\", "C:\\x\\", "C:\\x"},
        {"", "/", ""}, {"/", "/", ""}, {"a//", "a//", "a/"},
    };
    for (const Delim& d : delims) {
        EXPECT_EQ(IncludeTrailingPathDelimiter(QString::fromLatin1(d.in)), QString::fromLatin1(d.with)) << d.in;
        EXPECT_EQ(ExcludeTrailingPathDelimiter(QString::fromLatin1(d.in)), QString::fromLatin1(d.without)) << d.in;
    }
    EXPECT_TRUE(SameText(QStringLiteral("Core.JPG"), QStringLiteral("core.jpg")));
    EXPECT_TRUE(SameText(QString::fromUtf8("ÄRGER"), QString::fromUtf8("ärger")));
    EXPECT_FALSE(SameText(QStringLiteral("core"), QStringLiteral("core ")));
}

} // namespace
