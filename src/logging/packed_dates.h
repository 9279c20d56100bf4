// packed_file_date with its local-time conversion given. With a 64-bit
// time_t every packed date converts, so this is how tests reach the answer
// for a date the calendar routines refuse.
#pragma once

#include <cstdint>
#include <ctime>

namespace qxs {

// Like mktime: the time value of a broken-down local time (which it may
// normalise), or (time_t)-1 when it cannot be converted.
using LocalTimeConversion = time_t (*)(tm*);

// packed_file_date, converting with `convert`.
char* packed_file_date_with(uint16_t date, uint16_t time, char* out, int gmt,
                            LocalTimeConversion convert);

}  // namespace qxs
