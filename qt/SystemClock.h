#pragma once
#include "base/IClock.h"

#include <QString>

class QLocale;

namespace quorlan::qt {

// The real clock: a monotonic millisecond tick that wraps at 2^32, and the
// local time of day in the system's long time format, without the time zone.
class SystemClock : public base::IClock {
public:
    std::uint32_t TickMs() const override;
    std::string LongTimeNow() const override;

    // The locale's long time format with its time-zone part removed.
    static QString LongTimeFormat(const QLocale& locale);
};

} // namespace quorlan::qt
