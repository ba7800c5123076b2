// Linked into every Windows test program. Wine hands the Linux TZ (a zone name such as
// "Europe/Berlin") on to Windows programs. Wine takes the right Windows zone from it, but
// the C runtime reads TZ itself, as a POSIX-like rule with US summer-time dates. A Windows
// user has no TZ, and the runtime then follows the system zone: this removes TZ from the
// runtime's environment before main, so that the tests see what such a user sees: first of
// the program's own static objects, as a test's global date-times already convert.
#include <stdlib.h>
#include <time.h>

namespace
{

struct TimeZoneFromSystem {
    TimeZoneFromSystem()
    {
        _putenv("TZ=");
        _tzset();
    }
};

const TimeZoneFromSystem timeZoneFromSystem __attribute__((init_priority(101)));

} // namespace
