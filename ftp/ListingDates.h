#pragma once
// Dates and times as listings write them: month names in many languages
// (UTF-8 and the East Asian code pages), numeric dates in the usual orders,
// clocks, and the few-field date groups of "ls -l" in its localized forms.
#include <cstddef>
#include <string_view>

#include "ftp/FtpTypes.h"
#include "ftp/ListingParser.h"
#include "ftp/ListingText.h"

namespace ftp::listing {

// 1-12 for a month name or its abbreviation (any case, a trailing "." or
// "," allowed), or a Chinese month name ("三月", also in GBK and Big5); 0
// otherwise.
int monthFromName(std::string_view text);

// Morning or afternoon of a 12-hour clock.
enum class HalfDay { None, Morning, Afternoon };
// "AM", "PM" and their Chinese, Japanese and Korean words, in UTF-8 and in
// the legacy code pages.
HalfDay halfDayOf(std::string_view text);
// "07:27PM", "19:27", "10:00上午": a clock and a half-day mark joined to it,
// which half is then set to.
bool readHalfDayClock(std::string_view text, RemoteTime& time, HalfDay& half);
// A 12-hour clock made a 24-hour one; false when the hour is not 1-12.
bool applyHalfDay(HalfDay half, RemoteTime& time);

// Seconds since 1970 in UTC, as numeric listings give times.
bool readUnixTime(std::string_view text, RemoteTime& time);

// "hh:mm", "hh:mm:ss" or "hh:mm:ss.fraction"; "24:00" is accepted and
// means the end of the day. False leaves time unchanged.
bool readClock(std::string_view text, RemoteTime& time);

// A date in one field with "-", "/" or "." between its numbers: year
// first when it has four digits, else month-day-year with "-" and "/"
// (day first when the first number cannot be a month), day-month-year
// with ".". Two-digit years are 1970-2069, three-digit ones count from
// 1900.
bool readNumericDate(std::string_view text, RemoteTime& time);

// "20-MAR-2023", "20-Mar-23", "01-jun-99" or "FEB-24-2014": a month name
// and numbers joined by "-", the day before or after the month.
bool readNamedMonthDate(std::string_view text, RemoteTime& time);

// A year from two or four digits (1970-2069 for two).
int fullYear(int year, std::size_t digits);

// For dates listed without a year: the year that puts the date within
// the last twelve months (a day ahead allowed for clock skew).
void settleYear(RemoteTime& time, const ListingDate& today);

// "24:00" read as the first moment of the next day.
void settleMidnight(RemoteTime& time);

// The date group of an "ls -l" style line starting at fields[first]:
// "Mar 20 10:00", "Mar 20  2023", "20 Mar 10:00", "26. Juli 10:00",
// "3月 20 10:00", "3月20日 10:00", "2023-03-20 10:00", full ISO with
// seconds and zone, "20.03.2023 10:00", "2023. márc. 20.", "01-jun-99",
// "Oct 08, 2002 09:47", "下午 03:15" and the like. A time after a year, or
// a half-day mark after a time, is taken only when a field (the name)
// follows it. Returns the index of the group's last field, or 0 when none
// starts there.
std::size_t readDateGroup(const Fields& fields, std::size_t first, const ListingDate& today, RemoteTime& time);

} // namespace ftp::listing
