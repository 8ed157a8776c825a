// Device-controlled texts (input laid out by FormatInput.h): numbers through the device's
// template in every style, width and precision, date/time records through its pattern in several
// locales, the calendar steps of a time axis, and the Number, Date/time and Matrix records' texts
// over any dimensions and buffer sizes. Reads must stay inside the buffers and texts bounded.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <iterator>

#include <QLocale>
#include <QString>

#include "Calendar.h"
#include "Ctrl.h"
#include "FormatInput.h"
#include "MatrixAccess.h"
#include "ValueFormat.h"

namespace {

// Whole tables only while they are small; beyond, single cells keep the runs fast.
constexpr long long kMaxTableCells = 256;
constexpr int kAxisTicks = 32;
// The longest number text: 309 integer digits, the point and 255 decimals, with sign and slack.
constexpr qsizetype kMaxNumberChars = 600;
// The shortest token ("%M%") is replaced by at most 63 characters.
constexpr qsizetype kMaxDateGrowth = 21;

QString Q(const std::u16string& s) {
    return QString::fromStdU16String(s);
}

const QLocale& LocaleOf(uint8_t index) {
    static const QLocale locales[] = {
        QLocale::c(),
        QLocale(QLocale::English, QLocale::UnitedStates),
        QLocale(QLocale::German, QLocale::Germany),
        QLocale(QLocale::Arabic, QLocale::Egypt),
        QLocale(QLocale::Japanese, QLocale::Japan),
        QLocale(QLocale::Persian, QLocale::Iran),
    };
    return locales[index % std::size(locales)];
}

void Check(bool ok) {
    if (!ok) std::abort();
}

void Numbers(const FormatInput& in) {
    const QString tmpl = Q(in.numberTemplate);
    const QString text = FormatNumber(in.value, in.style, tmpl, in.decimals, in.width);
    if (!tmpl.contains(QLatin1String("%%"))) Check(text == tmpl);
    Check(text.size() <= tmpl.size() + kMaxNumberChars);
    const QString scaled = FormatScaled(in.raw, in.style, tmpl, in.decimals, in.exponent, in.width);
    Check(scaled.size() <= tmpl.size() + kMaxNumberChars);
}

void DateTimes(const FormatInput& in, const QLocale& locale) {
    const QString pattern = Q(in.dateTimePattern);
    const DateTimeRecord record = DateTimeRecord::FromBytes(in.dateTime, 8);
    Check(FormatDateTime(record, pattern, locale).size() <= pattern.size() * kMaxDateGrowth);
}

// A Number record: min and max are the matrix fields rows and maxRows.
void NumberRecord(const FormatInput& in) {
    CCtrl ctrl;
    LinkSummary summary;
    summary.nId = 1;
    summary.dwFlags = in.flags;
    ctrl.Init(summary, nullptr);
    NumberDefinition d;
    d.min = in.rows;
    d.max = in.maxRows;
    d.decimals = uint8_t(in.decimals);
    d.exponent = in.exponent;
    if (!in.numberTemplate.empty()) d.format = Q(in.numberTemplate);
    ctrl.CreateNumber(d, in.raw);
    ctrl.NumberText(in.width);
    ctrl.NumberEditText();
    ctrl.ControlText();
    const auto [low, high] = ctrl.SliderRange();
    Check(low <= high);
}

void DateTimeRecordTexts(const FormatInput& in) {
    CCtrl ctrl;
    LinkSummary summary;
    summary.nId = 2;
    summary.dwFlags = in.flags;
    ctrl.Init(summary, nullptr);
    ctrl.CreateDateTime(Q(in.dateTimePattern), in.dateTime);
    ctrl.DateTimeText();
    ctrl.ControlText();
}

// Ticks of a time axis from the first row label to the record, as a chart walks them.
void TimeAxis(const CCtrl& matrix, const FormatInput& in) {
    const auto first = matrix.RowLabelDateTime(0);
    if (!first) return;
    const CalendarTime start = ToCalendarTime(*first);
    const CalendarTime end = ToCalendarTime(DateTimeRecord::FromBytes(in.dateTime, 8));
    const int level = TickLevel(start, end);
    CalendarTime t = end;
    for (int i = 0; i < kAxisTicks && CompareTimes(t, start) <= 0; ++i) {
        TickWeight(t, level);
        TimeFraction(t, start, end);
        matrix.DateAxisText(ToDateTimeRecord(t));
        t = StepBack(t, level);
    }
    TimeStep step;
    step.days = in.raw;
    step.hours = in.exponent;
    step.minutes = in.width;
    step.seconds = in.decimals;
    SubtractTime(end, step, 1);
}

void MatrixRecord(const FormatInput& in) {
    CCtrl ctrl;
    LinkSummary summary;
    summary.nId = 3;
    summary.dwFlags = in.flags;
    ctrl.Init(summary, nullptr);
    MatrixDefinition d;
    d.maxRows = in.maxRows;
    d.cols = in.cols;
    d.rowLabelFormat = Q(in.rowLabelFormat);
    d.cellFormat = Q(in.cellFormat);
    d.rowLabelHeading = Q(in.rowLabelHeading);
    d.columnNames = in.columnNames;
    d.rowLabelDecimals = in.rowLabelDecimals;
    d.rowLabelExponent = in.rowLabelExponent;
    d.cellDecimals = in.cellDecimals;
    d.cellExponent = in.cellExponent;
    d.cellBytes = in.cellBytes;
    d.rowLabelBytes = in.rowLabelBytes;
    LinkMatrixData data;
    data.nRows = uint32_t(in.rows);
    data.pCells = in.cells.data();
    data.nCellBytes = in.cells.size();
    data.pRowLabels = in.rowLabels.data();
    data.nRowLabelBytes = in.rowLabels.size();
    ctrl.CreateMatrix(d, data);

    const int rows = ctrl.RowsInUse();
    Check(rows >= 0 && (in.maxRows <= 0 || rows <= in.maxRows));
    const long long width = (long long)std::max(in.cols, 0) + 1;
    if (width <= kMaxTableCells && rows * width <= kMaxTableCells) {
        const MatrixTable table = ctrl.TableData();
        Check(table.rows.size() == size_t(rows));
    } else {
        const int lastColumn = in.cols > 0 ? in.cols - 1 : 0;
        for (int p : {0, 1, rows / 2, rows - 1, rows, -1}) {
            Check((ctrl.RingIndex(p) >= 0) == (p >= 0 && p < rows));
            ctrl.RowLabelText(p);
            ctrl.RowLabelValue(p);
            for (int c : {0, in.cols / 2, lastColumn, in.cols}) {
                ctrl.CellText(p, c);
                ctrl.CellValue(p, c);
            }
        }
        for (int c : {0, lastColumn, in.cols}) ctrl.ColumnName(c);
        ctrl.RowLabelTexts(int(kMaxTableCells));
    }
    ctrl.AxisLabelText(in.value);
    ctrl.AxisValueText(in.value);
    ctrl.DateAxisText(DateTimeRecord::FromBytes(in.dateTime, 8));
    RowLabelText(ctrl.View(), 0, LocaleOf(in.locale));
    TimeAxis(ctrl, in);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const FormatInput in = DecodeFormatInput(data, size);
    Numbers(in);
    DateTimes(in, LocaleOf(in.locale));
    NumberRecord(in);
    DateTimeRecordTexts(in);
    MatrixRecord(in);
    return 0;
}
