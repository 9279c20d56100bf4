// The date forms the server writes: the 24-character local form of logs and
// pages, the RFC 1123 form of HTTP headers, the local form with zone name,
// the form of directory listings, and packed file dates turned into either
// of the two header forms.
#pragma once

#include <cstdint>
#include <ctime>

namespace qxs {

// "Wed Jan 02 02:03:55 1980" (local time, day zero-padded), in a static
// buffer overwritten by the next call.
const char* log_date(time_t t);
// "Wed, 02 Jan 1980 02:03:55 GMT" into out (at least 32 bytes).
char* gmt_date(time_t t, char* out);
// "Wed, 02 Jan 1980 02:03:55 PST": local time and the first three letters of
// TZ (nothing after the final blank when TZ is not set). out: 32 bytes.
char* local_date(time_t t, char* out);
// The offset of the local time at `t` from UTC, as "+0100" or "-0700" (the
// form of `date +%z` and of the common log format). out: 8 bytes.
char* zone_offset(time_t t, char* out);
// "Jan  2, 1997" of a packed date, in a static buffer.
const char* listing_date(uint16_t packed_date);
// A packed date and time in the gmt_date form (gmt != 0) or the local_date
// form; "" when the date cannot be converted. out: at least 32 bytes.
char* packed_file_date(uint16_t date, uint16_t time, char* out, int gmt);

}  // namespace qxs
