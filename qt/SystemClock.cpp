#include "qt/SystemClock.h"

#include "base/Cp949.h"

#include <QLocale>
#include <QRegularExpression>
#include <QTime>
#include <chrono>

namespace quorlan::qt {

std::uint32_t SystemClock::TickMs() const {
    const auto sinceBoot = std::chrono::steady_clock::now().time_since_epoch();
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(sinceBoot).count();
    return static_cast<std::uint32_t>(static_cast<std::uint64_t>(ms)); // keeps the low 32 bits: wraps at 2^32
}

QString SystemClock::LongTimeFormat(const QLocale& locale) {
    // Qt's long format names the time zone ("t"); the time of day alone is
    // wanted, as "오후 3:04:05" on a Korean system or "HH:mm:ss" in C.
    static const QRegularExpression zone(QStringLiteral("\\s*(?<![A-Za-z'])t+(?![A-Za-z'])"));
    QString format = locale.timeFormat(QLocale::LongFormat).remove(zone).trimmed();
    return format.isEmpty() ? QStringLiteral("HH:mm:ss") : format;
}

std::string SystemClock::LongTimeNow() const {
    static const QString format = LongTimeFormat(QLocale::system());
    return base::Cp949FromUtf8(QLocale::system().toString(QTime::currentTime(), format).toStdString());
}

} // namespace quorlan::qt
