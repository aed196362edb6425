#include "app/utc_time.h"

#include <cstdio>
#include <ctime>

namespace zor {

std::string utcTimestamp() {
    const long long t = static_cast<long long>(std::time(nullptr));
    // Days since 1970 to a civil date (proleptic Gregorian), without gmtime's
    // shared buffer.
    long long days = t / 86400, secs = t % 86400;
    if (secs < 0) {
        secs += 86400;
        --days;
    }
    days += 719468;
    const long long era = (days >= 0 ? days : days - 146096) / 146097;
    const long long doe = days - era * 146097;
    const long long yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const long long doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const long long mp = (5 * doy + 2) / 153;
    const long long day = doy - (153 * mp + 2) / 5 + 1;
    const long long month = mp < 10 ? mp + 3 : mp - 9;
    const long long year = yoe + era * 400 + (month <= 2);
    char text[96];
    std::snprintf(text, sizeof text, "%04lld-%02lld-%02lldT%02lld:%02lld:%02lldZ", year, month, day,
                  secs / 3600, secs / 60 % 60, secs % 60);
    return text;
}

}  // namespace zor
