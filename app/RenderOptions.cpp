#include "app/RenderOptions.h"

#include "render/navigation.h"
#include "ui/SaveView.h"

#include <QCommandLineParser>
#include <QDateTime>
#include <QRegularExpression>

#include <cmath>

namespace nimbora {

namespace {

bool ParseNumber(const QString& text, double& value) {
    bool ok = false;
    value = text.trimmed().toDouble(&ok);
    return ok && std::isfinite(value);
}

} // namespace

bool ParseRenderOptions(const QStringList& arguments, TRenderOptions& o, std::string& error,
                        std::string* helpText) {
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Without options, nimbora opens the globe in its window. The window also takes Qt's own\n"
        "options, such as -platform NAME, -display HOST:N, -geometry WxH+X+Y and -style NAME.\n"
        "\n"
        "With --render FILE it draws the globe with its clouds into a picture file instead,\n"
        "without a window or a display, using these options:"));
    const QCommandLineOption help = parser.addHelpOption();
    const QCommandLineOption version = parser.addVersionOption();
    const QCommandLineOption render(
        QStringLiteral("render"), QStringLiteral("Write the picture to <file> (.jpg, .png, .bmp)."),
        QStringLiteral("file"));
    const QCommandLineOption size(
        QStringLiteral("size"),
        QStringLiteral("Picture size, e.g. 1920x1080, or screen (the default: the screen's, "
                       "else 1920x1080; at most 8192x8192)."),
        QStringLiteral("WxH"));
    const QCommandLineOption update(QStringLiteral("update"),
                                    QStringLiteral("Fetch a newer cloud picture first."));
    const QCommandLineOption timeout(
        QStringLiteral("timeout"),
        QStringLiteral("Give up the update after this many seconds and draw with the cloud "
                       "picture in hand (default 120)."),
        QStringLiteral("seconds"));
    const QCommandLineOption view(
        QStringLiteral("view"),
        QStringLiteral("Look down on latitude,longitude in degrees, from distance (5.5 to 40; "
                       "the globe's radius is 5), or on a place by name: a country, a sea, a "
                       "waypoint, sun or moon."),
        QStringLiteral("lat,lon[,distance]|name"));
    const QCommandLineOption noStatus(QStringLiteral("no-status"),
                                      QStringLiteral("Leave the status text out."));
    const QCommandLineOption noAxis(QStringLiteral("no-axis"),
                                    QStringLiteral("Leave the polar axis line out."));
    const QCommandLineOption perScreen(
        QStringLiteral("output-per-screen"),
        QStringLiteral("Write one picture per screen at its size instead, %n in <pattern> "
                       "being the screen's number (e.g. globe-%n.png)."),
        QStringLiteral("pattern"));
    const QCommandLineOption dayNight(QStringLiteral("daynight"),
                                      QStringLiteral("Light the globe by the sun."));
    const QCommandLineOption rgb(QStringLiteral("rgb"),
                                 QStringLiteral("Light the globe evenly (no day and night)."));
    const QCommandLineOption noClouds(QStringLiteral("no-clouds"),
                                      QStringLiteral("Leave the clouds out."));
    const QCommandLineOption names(QStringLiteral("names"), QStringLiteral("Show country names."));
    const QCommandLineOption noNames(QStringLiteral("no-names"),
                                     QStringLiteral("Hide country names."));
    const QCommandLineOption boundaries(QStringLiteral("boundaries"),
                                        QStringLiteral("Show country boundaries."));
    const QCommandLineOption noBoundaries(QStringLiteral("no-boundaries"),
                                          QStringLiteral("Hide country boundaries."));
    const QCommandLineOption timeZones(QStringLiteral("timezones"),
                                       QStringLiteral("Show the time zone grid."));
    const QCommandLineOption noTimeZones(QStringLiteral("no-timezones"),
                                         QStringLiteral("Hide the time zone grid."));
    const QCommandLineOption cityLights(
        QStringLiteral("city-lights"),
        QStringLiteral("Show the cities' lights on the night side (with --daynight)."));
    const QCommandLineOption noCityLights(QStringLiteral("no-city-lights"),
                                          QStringLiteral("Leave the cities' lights out."));
    const QCommandLineOption detailed(QStringLiteral("detailed"),
                                      QStringLiteral("Use the detailed earth picture."));
    const QCommandLineOption time(
        QStringLiteral("time"),
        QStringLiteral("Place sun and moon for this instant, e.g. 2024-03-20T12:00:00Z "
                       "(without a zone: local time), and draw the kept cloud picture nearest "
                       "to it."),
        QStringLiteral("ISO8601"));
    for (const QCommandLineOption* option :
         {&render, &size, &update, &timeout, &view, &dayNight, &rgb, &noClouds, &names, &noNames,
          &boundaries, &noBoundaries, &timeZones, &noTimeZones, &cityLights, &noCityLights,
          &detailed, &time, &noStatus, &noAxis, &perScreen})
        parser.addOption(*option);
    if (helpText) *helpText = parser.helpText().toStdString();

    o = TRenderOptions();
    if (!parser.parse(arguments)) {
        error = parser.errorText().toStdString();
        return false;
    }
    o.Help = parser.isSet(help) || parser.isSet(QStringLiteral("help-all"));
    o.Version = parser.isSet(version);
    if (o.Help || o.Version) return true;
    if (!parser.positionalArguments().isEmpty()) {
        error = "Unexpected argument: " + parser.positionalArguments().first().toStdString();
        return false;
    }
    o.Target = parser.value(render).toStdString();
    o.PerScreenPattern = parser.value(perScreen).toStdString();
    if (o.Target.empty() == o.PerScreenPattern.empty()) {
        error = o.Target.empty() ? "Missing --render FILE"
                                 : "--render and --output-per-screen exclude each other";
        return false;
    }
    const std::string ext = LowerExtension(o.Target + o.PerScreenPattern);
    if (ext != ".jpg" && ext != ".jpeg" && ext != ".png" && ext != ".bmp") {
        error = "The picture file must end in .jpg, .png or .bmp: " + o.Target + o.PerScreenPattern;
        return false;
    }
    if (parser.isSet(size) && parser.value(size).trimmed() != QLatin1String("screen")) {
        static const QRegularExpression pattern(QStringLiteral("^(\\d{1,9})[xX](\\d{1,9})$"));
        const auto match = pattern.match(parser.value(size).trimmed());
        const long long w = match.hasMatch() ? match.captured(1).toLongLong() : 0;
        const long long h = match.hasMatch() ? match.captured(2).toLongLong() : 0;
        if (w < 1 || h < 1 || w > MaxRenderSide || h > MaxRenderSide) {
            error = "Bad size \"" + parser.value(size).toStdString() +
                    "\": give WxH with each side from 1 to " + std::to_string(MaxRenderSide);
            return false;
        }
        o.Width = static_cast<int>(w);
        o.Height = static_cast<int>(h);
    }
    o.Update = parser.isSet(update);
    if (parser.isSet(timeout)) {
        if (!ParseNumber(parser.value(timeout), o.Timeout) || o.Timeout <= 0 ||
            o.Timeout > MaxRenderTimeout) {
            error = "Bad timeout \"" + parser.value(timeout).toStdString() +
                    "\": give the seconds the update may take, more than 0 and at most " +
                    std::to_string(static_cast<int>(MaxRenderTimeout));
            return false;
        }
    }
    if (parser.isSet(view)) {
        const QStringList parts = parser.value(view).split(QLatin1Char(','));
        double distance = 0;
        const bool ok = (parts.size() == 2 || parts.size() == 3) && ParseNumber(parts[0], o.Lat) &&
                        ParseNumber(parts[1], o.Lon) &&
                        (parts.size() == 2 || ParseNumber(parts[2], distance));
        // A name has a letter, and no digit if it has a comma ("nan,0" is a mistyped number).
        static const QRegularExpression letter(QStringLiteral("[^\\W\\d_]")),
            digit(QStringLiteral("\\d"));
        const QString text = parser.value(view);
        const bool name =
            !ok && text.contains(letter) && !(text.contains(',') && text.contains(digit));
        if (name) o.ViewName = text.trimmed().toStdString();
        if (!name && (!ok || std::fabs(o.Lat) > 90 || std::fabs(o.Lon) > 180 ||
                      (parts.size() == 3 && (distance < -ZoomNear || distance > -ZoomFar)))) {
            error = "Bad view \"" + parser.value(view).toStdString() +
                    "\": give LAT,LON[,DISTANCE] with LAT -90..90, LON -180..180, DISTANCE " +
                    "5.5..40";
            return false;
        }
        o.HasView = !name;
        if (!name && parts.size() == 3) o.Distance = distance;
    }
    auto pair = [&](const QCommandLineOption& on, const QCommandLineOption& off,
                    std::optional<bool>& value) {
        if (parser.isSet(on) && parser.isSet(off)) {
            error = "--" + on.names().first().toStdString() + " and --" +
                    off.names().first().toStdString() + " exclude each other";
            return false;
        }
        if (parser.isSet(on)) value = true;
        if (parser.isSet(off)) value = false;
        return true;
    };
    if (!pair(dayNight, rgb, o.DayNight) || !pair(names, noNames, o.Names) ||
        !pair(boundaries, noBoundaries, o.Boundaries) ||
        !pair(timeZones, noTimeZones, o.TimeZones) || !pair(cityLights, noCityLights, o.CityLights))
        return false;
    if (parser.isSet(noClouds)) o.Clouds = false;
    o.NoStatus = parser.isSet(noStatus);
    o.NoAxis = parser.isSet(noAxis);
    o.Detailed = parser.isSet(detailed);
    if (parser.isSet(time)) {
        QDateTime t = QDateTime::fromString(parser.value(time).trimmed(), Qt::ISODateWithMs);
        if (!t.isValid()) {
            error = "Bad time \"" + parser.value(time).toStdString() +
                    "\": give an ISO 8601 instant such as 2024-03-20T12:00:00Z";
            return false;
        }
        // Day count since 1899-12-30, UTC.
        o.Time = static_cast<double>(t.toMSecsSinceEpoch()) / 86400000.0 + 25569.0;
    }
    return true;
}

} // namespace nimbora
