// Date/time: a label with the formatted value, or, when the device lets the user edit parts of
// it, a time picker above a date picker or a weekday list (the rows share the body height).
// Which parts are shown is fixed by the flags at creation: a part never shown is never made
// (its window id is kept in the order all the same). Within a picker, only the parts the flags
// give the user change.
#include <QDateEdit>
#include <QLabel>
#include <QLocale>
#include <QSignalBlocker>
#include <QTimeEdit>

#include "Ctrl.h"
#include "DropList.h"
#include "KindWidgets.h"

namespace {

// Whether the device takes this part of the value from the user; the day always.
bool Takes(const CCtrl& c, QDateTimeEdit::Section part) {
    switch (part) {
    case QDateTimeEdit::DaySection:
        return true;
    case QDateTimeEdit::MonthSection:
        return c.m_dwFlags & CTRLF_DATE_MONTH;
    case QDateTimeEdit::YearSection:
        return c.m_dwFlags & CTRLF_DATE_YEAR;
    case QDateTimeEdit::HourSection:
    case QDateTimeEdit::AmPmSection:
        return c.m_dwFlags & CTRLF_TIME_HOUR;
    case QDateTimeEdit::MinuteSection:
        return c.m_dwFlags & CTRLF_TIME_MINUTE;
    case QDateTimeEdit::SecondSection:
        return c.m_dwFlags & CTRLF_TIME_SECOND;
    default:
        return false;
    }
}

// A picker whose arrows and wheel leave alone the parts the device keeps; a part typed there
// anyway is set back once the value is sent.
template <class Picker> class PartsPicker : public Picker {
public:
    PartsPicker(const CCtrl& c, QWidget* parent) : Picker(parent), m_c(c) {}

protected:
    QAbstractSpinBox::StepEnabled stepEnabled() const override {
        if (!Takes(m_c, this->currentSection())) return QAbstractSpinBox::StepNone;
        return Picker::stepEnabled();
    }

private:
    const CCtrl& m_c;
};

// The locale's short date with the whole year.
QString DateFormat() {
    QString format = QLocale().dateFormat(QLocale::ShortFormat);
    if (!format.contains(QStringLiteral("yyyy"))) format.replace(QStringLiteral("yy"), "yyyy");
    return format;
}

// The locale's short time, with seconds (the device may let them be edited).
QString TimeFormat() {
    QString format = QLocale().timeFormat(QLocale::ShortFormat);
    if (!format.contains(u's')) {
        const qsizetype minutes = format.lastIndexOf(QStringLiteral("mm"));
        if (minutes >= 0) format.insert(minutes + 2, QStringLiteral(":ss"));
    }
    return format;
}

class DateTime : public KindWidgets {
public:
    int WindowIds(const CCtrl& c) const override { return c.IsEditable() ? 4 : 2; }

    void Create(CCtrl& c, WidgetMaker& make) const override {
        if (!c.IsEditable()) {
            c.m_pValueText = make.ValueLabel(QString(), c.m_bBorder);
            c.m_pTitle = make.Title();
            return;
        }
        CCtrlWidgets& host = make.Host();
        if (c.m_bShowDate) {
            auto* date = make.Body(new PartsPicker<QDateEdit>(c, make.Panel()));
            c.m_pDatePicker = date;
            date->setDisplayFormat(DateFormat());
            date->setCalendarPopup(true);
            date->setKeyboardTracking(false);
            QObject::connect(date, &QDateEdit::dateChanged, &host, [&host, &c, date] {
                host.Notify(c, date, CtrlNotify::DateTimeChange);
            });
        } else {
            make.Reserve();
        }
        if (c.m_bShowTime) {
            auto* time = make.Body(new PartsPicker<QTimeEdit>(c, make.Panel()));
            c.m_pTimePicker = time;
            time->setDisplayFormat(TimeFormat());
            time->setKeyboardTracking(false);
            QObject::connect(time, &QTimeEdit::timeChanged, &host, [&host, &c, time] {
                host.Notify(c, time, CtrlNotify::DateTimeChange);
            });
        } else {
            make.Reserve();
        }
        if (c.m_bShowWeekday) {
            auto* weekdays = make.Body(new CDropList(make.Panel()));
            c.m_pDropList = weekdays;
            weekdays->addItems(CCtrl::WeekdayNames());
            weekdays->setCurrentIndex(-1); // until a weekday below 7 is shown
            RouteSelection(host, c, weekdays);
        } else {
            make.Reserve();
        }
        c.m_pTitle = make.Title();
    }

    void ShowValue(CCtrl& c) const override {
        if (c.m_pValueText) {
            SetLabelText(c.m_pValueText, c.DateTimeText());
            return;
        }
        const DateTimeRecord value = c.DateTimeValue();
        const QDate date(value.year, value.month, value.day);
        const QTime time(value.hour, value.minute, value.second);
        // The device's value is shown, not sent back.
        if (c.m_pDatePicker && date.isValid() && c.m_pDatePicker->date() != date) {
            const QSignalBlocker quiet(c.m_pDatePicker);
            c.m_pDatePicker->setDate(date);
        }
        if (c.m_pTimePicker && time.isValid() && c.m_pTimePicker->time() != time) {
            const QSignalBlocker quiet(c.m_pTimePicker);
            c.m_pTimePicker->setTime(time);
        }
        if (c.m_pDropList && value.weekday < 7 && c.m_pDropList->currentIndex() != value.weekday)
            c.m_pDropList->setCurrentIndex(value.weekday);
    }

    void Place(CCtrl& c, const CtrlBox& box) const override {
        if (c.m_pValueText) {
            Move(c.m_pValueText, box.Body());
            SetLabelFrame(c.m_pValueText, c.m_bBorder);
            return;
        }
        // Time above, date or weekday below, when both are shown.
        int rows = box.b + 1, offset = 0;
        if (c.m_bShowTime && (c.m_bShowDate || c.m_bShowWeekday)) {
            rows = (box.b + 1) / 2 + 1;
            offset = (box.b + 1) / 2;
        }
        const int y = box.y + box.t;
        Move(c.m_pTimePicker, box.x, y, box.w, rows);
        Move(c.m_pDatePicker, box.x, y + offset, box.w, rows);
        PlaceDropList(c.m_pDropList, box.x, y + offset, box.w, rows, c.m_nDropHeight);
    }

    void Show(CCtrl& c, bool visible, CCtrlWidgets&) const override {
        SetShown(c.m_pValueText, visible);
        SetShown(c.m_pDatePicker, visible && c.m_bShowDate);
        SetShown(c.m_pTimePicker, visible && c.m_bShowTime);
        SetShown(c.m_pDropList, visible && c.m_bShowWeekday);
    }

    bool Notify(CCtrl& c, QWidget* w, CtrlNotify what, CCtrlWidgets&) const override {
        if (!c.IsEditable()) return false;
        if (what == CtrlNotify::DateTimeChange) {
            // A part without a picker is not the user's to change.
            c.ChangeDateTime(c.m_pDatePicker ? c.m_pDatePicker->date() : QDate(),
                             c.m_pTimePicker ? c.m_pTimePicker->time() : QTime());
            return true;
        }
        if (what == CtrlNotify::SelChange && w && w == c.m_pDropList) {
            c.SelectWeekday(c.m_pDropList->currentIndex());
            return true;
        }
        return false;
    }
};

} // namespace

const KindWidgets& DateTimeWidgets() {
    static const DateTime kind;
    return kind;
}
