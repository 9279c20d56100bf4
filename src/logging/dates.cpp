#include "logging/dates.h"

#include <cstdlib>

#include "logging/packed_dates.h"
#include "platform/strings.h"

namespace qxs {
namespace {

// The size every caller's buffer is promised to have.
constexpr size_t kDateSize = 32;

// English whatever the locale: these texts go into HTTP headers and logs that
// other programs parse.
constexpr const char* kDayNames[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
constexpr const char* kMonthNames[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                       "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

const char* day_name(const tm& when) {
    return when.tm_wday >= 0 && when.tm_wday < 7 ? kDayNames[when.tm_wday] : "???";
}

const char* month_name(const tm& when) {
    return when.tm_mon >= 0 && when.tm_mon < 12 ? kMonthNames[when.tm_mon] : "???";
}

// "Www, DD Mon YYYY HH:MM:SS zone" of a broken-down time; "" when the time
// could not be broken down.
char* header_form(bool converted, const tm& when, const char* zone, char* out) {
    if (!converted) {
        out[0] = '\0';
        return out;
    }
    format_text(out, kDateSize, "%s, %02d %s %d %02d:%02d:%02d %s", day_name(when), when.tm_mday,
                month_name(when), when.tm_year + 1900, when.tm_hour, when.tm_min, when.tm_sec,
                zone);
    return out;
}

}  // namespace

const char* log_date(time_t t) {
    static char buffer[25];
    tm when{};
    if (localtime_r(&t, &when) == nullptr) {
        buffer[0] = '\0';
        return buffer;
    }
    // The day of the month is zero-padded: the access log splits this text at
    // single blanks.
    format_text(buffer, sizeof buffer, "%s %s %02d %02d:%02d:%02d %d", day_name(when),
                month_name(when), when.tm_mday, when.tm_hour, when.tm_min, when.tm_sec,
                when.tm_year + 1900);
    return buffer;
}

char* gmt_date(time_t t, char* out) {
    tm when{};
    return header_form(gmtime_r(&t, &when) != nullptr, when, "GMT", out);
}

char* local_date(time_t t, char* out) {
    // The standard zone name from TZ ("PST8PDT" gives "PST"), even while
    // daylight saving time is in force; nothing when TZ is not set.
    char zone[4] = "";
    copy_text(zone, sizeof zone, std::getenv("TZ"));
    tm when{};
    return header_form(localtime_r(&t, &when) != nullptr, when, zone, out);
}

char* zone_offset(time_t t, char* out) {
    struct tm local {};
    if (localtime_r(&t, &local) == nullptr || std::strftime(out, 8, "%z", &local) == 0) {
        copy_text(out, 8, "+0000");
    }
    return out;
}

const char* listing_date(uint16_t packed_date) {
    static char buffer[24];
    int month = (packed_date >> 5) & 0x0f;
    if (month < 1) month = 1;
    if (month > 12) month = 12;
    format_text(buffer, sizeof buffer, "%s %2d, %4d", kMonthNames[month - 1], packed_date & 0x1f,
                (packed_date >> 9) + 1980);
    return buffer;
}

char* packed_file_date_with(uint16_t date, uint16_t time, char* out, int gmt,
                            LocalTimeConversion convert) {
    tm when{};
    when.tm_sec = 2 * (time & 0x1f);
    when.tm_min = (time >> 5) & 0x3f;
    when.tm_hour = time >> 11;
    when.tm_mday = date & 0x1f;
    when.tm_mon = ((date >> 5) & 0x0f) - 1;
    when.tm_year = (date >> 9) + 80;
    when.tm_isdst = -1;  // the conversion decides
    time_t t = convert(&when);
    if (t == static_cast<time_t>(-1)) {
        out[0] = '\0';
        return out;
    }
    return gmt != 0 ? gmt_date(t, out) : local_date(t, out);
}

namespace {

// mktime, remembering its last answer: it reads the zone file again on every
// call, and answers mostly carry the dates of the same few files.
time_t remembered_mktime(tm* when) {
    static tm asked{};
    static time_t answer = -1;
    if (answer != -1 && when->tm_sec == asked.tm_sec && when->tm_min == asked.tm_min &&
        when->tm_hour == asked.tm_hour && when->tm_mday == asked.tm_mday &&
        when->tm_mon == asked.tm_mon && when->tm_year == asked.tm_year &&
        when->tm_isdst == asked.tm_isdst) {
        return answer;
    }
    asked = *when;
    answer = mktime(when);
    return answer;
}

}  // namespace

char* packed_file_date(uint16_t date, uint16_t time, char* out, int gmt) {
    return packed_file_date_with(date, time, out, gmt, remembered_mktime);
}

}  // namespace qxs
