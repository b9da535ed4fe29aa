#include "dos_time.h"

#include <cstdio>

#include "entry_format.h"

namespace mksetup {
namespace {

constexpr std::int64_t kSecondsPerDay = 86400;

// Days since 1970-01-01 of a proleptic Gregorian date, and back
// (H. Hinnant's civil calendar algorithms).
std::int64_t DaysFromCivil(std::int64_t year, unsigned month, unsigned day)
{
    year -= month <= 2;
    std::int64_t era = (year >= 0 ? year : year - 399) / 400;
    unsigned yearOfEra = static_cast<unsigned>(year - era * 400);
    unsigned dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    unsigned dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return era * 146097 + static_cast<std::int64_t>(dayOfEra) - 719468;
}

struct CivilDate {
    std::int64_t year;
    unsigned month, day;
};

CivilDate CivilFromDays(std::int64_t days)
{
    days += 719468;
    std::int64_t era = (days >= 0 ? days : days - 146096) / 146097;
    unsigned dayOfEra = static_cast<unsigned>(days - era * 146097);
    unsigned yearOfEra =
        (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    unsigned dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    unsigned mp = (5 * dayOfYear + 2) / 153;
    unsigned day = dayOfYear - (153 * mp + 2) / 5 + 1;
    unsigned month = mp < 10 ? mp + 3 : mp - 9;
    std::int64_t year = static_cast<std::int64_t>(yearOfEra) + era * 400 + (month <= 2);
    return {year, month, day};
}

bool IsLeapYear(std::int64_t year)
{
    return year % 4 == 0 && (year % 100 != 0 || year % 400 == 0);
}

unsigned DaysInMonth(std::int64_t year, unsigned month)
{
    static constexpr unsigned char kDays[12] = {31, 28, 31, 30, 31, 30,
                                                31, 31, 30, 31, 30, 31};
    return month == 2 && IsLeapYear(year) ? 29 : kDays[month - 1];
}

const UnixSeconds kFirstMoment = DaysFromCivil(1980, 1, 1) * kSecondsPerDay;
const UnixSeconds kLastMoment =
    DaysFromCivil(2107, 12, 31) * kSecondsPerDay + 86398;

} // namespace

DosStamp ToDosStamp(UnixSeconds moment)
{
    if (moment < kFirstMoment) moment = kFirstMoment;
    if (moment > kLastMoment) moment = kLastMoment;
    std::int64_t days = moment / kSecondsPerDay; // moment is positive here
    unsigned seconds = static_cast<unsigned>(moment % kSecondsPerDay);
    CivilDate date = CivilFromDays(days);
    DosStamp stamp;
    stamp.date = static_cast<std::uint16_t>((date.year - 1980) << 9 |
                                            date.month << 5 | date.day);
    stamp.time = static_cast<std::uint16_t>(
        (seconds / 3600) << 11 | (seconds / 60 % 60) << 5 | (seconds % 60) / 2);
    return stamp;
}

std::optional<UnixSeconds> FromDosStamp(DosStamp stamp)
{
    std::int64_t year = 1980 + (stamp.date >> 9);
    unsigned month = (stamp.date >> 5) & 0x0F;
    unsigned day = stamp.date & 0x1F;
    unsigned hour = stamp.time >> 11;
    unsigned minute = (stamp.time >> 5) & 0x3F;
    unsigned second = (stamp.time & 0x1F) * 2;
    if (month < 1 || month > 12 || day < 1 || day > DaysInMonth(year, month))
        return std::nullopt;
    if (hour > 23 || minute > 59 || second > 59) return std::nullopt;
    return DaysFromCivil(year, month, day) * kSecondsPerDay + hour * 3600 +
           minute * 60 + second;
}

DosStamp StoredStampFor(UnixSeconds mtime)
{
    return ToDosStamp(mtime - kStubTimeShift);
}

DosStamp RestoredStamp(DosStamp stored)
{
    unsigned short date = stored.date, time = stored.time;
    AdjustDosTime(&date, &time);
    return {date, time};
}

std::string FormatDosStamp(DosStamp stamp)
{
    char text[48];
    unsigned year = 1980 + (stamp.date >> 9);
    unsigned month = (stamp.date >> 5) & 0x0F, day = stamp.date & 0x1F;
    unsigned hour = stamp.time >> 11, minute = (stamp.time >> 5) & 0x3F;
    unsigned second = (stamp.time & 0x1F) * 2;
    std::snprintf(text, sizeof text, "%04u-%02u-%02u %02u:%02u:%02u%s", year,
                  month, day, hour, minute, second,
                  FromDosStamp(stamp) ? "" : " (invalid)");
    return text;
}

} // namespace mksetup
