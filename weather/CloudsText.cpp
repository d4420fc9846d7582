#include "weather/CloudsText.h"

#include "core/Cp1252.h"

#include <QDate>
#include <QLocale>
#include <QTime>
#include <cmath>

namespace nimbora {

namespace {

// The locale's long time format without the zone name, which would only repeat that the time
// is local.
QString LongTimeFormat(const QLocale& locale) {
    QString format = locale.timeFormat(QLocale::LongFormat);
    format.remove(QLatin1Char('t'));
    return format.trimmed();
}

// The instant as the user's local date and time, in the locale's short form.
std::string LocalDateTimeText(const TDateTimeZ& lastMap) {
    const double local = DateTimeZToLocal(lastMap);
    const double days = std::floor(local);
    const QDate date = QDate(1899, 12, 30).addDays(static_cast<qint64>(days));
    const int ms = static_cast<int>(std::llround((local - days) * 86400000.0));
    const QLocale locale = QLocale::system();
    QString text = locale.toString(date, QLocale::ShortFormat);
    if (ms > 0 && ms < 86400000)
        text += ' ' + locale.toString(QTime::fromMSecsSinceStartOfDay(ms), LongTimeFormat(locale));
    return Utf8ToCp1252(text.toStdString());
}

} // namespace

std::string CloudsUpdatedText(const TDateTimeZ& lastMap) {
    if (lastMap.DateTime == 0) return "Clouds updated: no data";
    return "Clouds updated: " + LocalDateTimeText(lastMap);
}

std::string HistoryTimeText(double utc) {
    return "Cloud history: " + LocalDateTimeText({utc, 0, true});
}

} // namespace nimbora
