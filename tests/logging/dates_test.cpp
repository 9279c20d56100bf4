#include "logging/dates.h"

#include <gtest/gtest.h>

#include <string>

#include "logging/packed_dates.h"
#include "support/scoped_env.h"

namespace qxs {
namespace {

constexpr time_t kJuly4th1997 = 868017600;  // Fri Jul 4 12:00:00 1997 UTC

uint16_t packed_date(int year, int month, int day) {
    return static_cast<uint16_t>(((year - 1980) << 9) | (month << 5) | day);
}
uint16_t packed_time(int hours, int minutes, int seconds) {
    return static_cast<uint16_t>((hours << 11) | (minutes << 5) | (seconds / 2));
}

TEST(LogDates, FormsOfATimeValue) {
    struct Case {
        const char* zone;
        time_t t;
        const char *log, *gmt, *local;
    } cases[] = {
        // Daylight saving time in force: still the standard name.
        {"PST8PDT", kJuly4th1997, "Fri Jul 04 05:00:00 1997", "Fri, 04 Jul 1997 12:00:00 GMT",
         "Fri, 04 Jul 1997 05:00:00 PST"},
        // Only the first three characters of TZ, however long.
        {"CET-1CEST,M3.5.0,M10.5.0/3", kJuly4th1997, "Fri Jul 04 14:00:00 1997",
         "Fri, 04 Jul 1997 12:00:00 GMT", "Fri, 04 Jul 1997 14:00:00 CET"},
    };
    for (const Case& c : cases) {
        test::ScopedEnv zone("TZ", c.zone);
        char out[32];
        EXPECT_STREQ(log_date(c.t), c.log) << c.zone;
        EXPECT_STREQ(gmt_date(c.t, out), c.gmt) << c.zone;
        EXPECT_STREQ(local_date(c.t, out), c.local) << c.zone;
    }
}

TEST(LogDates, PackedFileDates) {
    struct Case {
        const char* zone;
        uint16_t date, time;
        const char *gmt, *local;
    } cases[] = {
        // The fields are local time; all six minute bits and the two-second steps.
        {"PST8PDT", packed_date(1997, 1, 2), packed_time(13, 47, 58),
         "Thu, 02 Jan 1997 21:47:58 GMT", "Thu, 02 Jan 1997 13:47:58 PST"},
        {"PST8PDT", packed_date(1997, 7, 4), packed_time(5, 0, 0), "Fri, 04 Jul 1997 12:00:00 GMT",
         "Fri, 04 Jul 1997 05:00:00 PST"},
        // Out-of-range time fields carry over.
        {"UTC0", packed_date(1997, 1, 2), packed_time(31, 63, 62), "Fri, 03 Jan 1997 08:04:02 GMT",
         "Fri, 03 Jan 1997 08:04:02 UTC"},
    };
    for (const Case& c : cases) {
        test::ScopedEnv zone("TZ", c.zone);
        char out[32];
        EXPECT_STREQ(packed_file_date(c.date, c.time, out, 1), c.gmt) << c.zone;
        EXPECT_STREQ(packed_file_date(c.date, c.time, out, 0), c.local) << c.zone;
    }
    auto refuse = [](tm*) { return static_cast<time_t>(-1); };
    for (int gmt : {0, 1}) {
        char out[32] = "previous";
        EXPECT_STREQ(packed_file_date_with(packed_date(1997, 1, 2), 0, out, gmt, refuse), "");
    }
}

}  // namespace
}  // namespace qxs
