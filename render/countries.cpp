#include "render/countries.h"

#include "core/Cp1252.h"
#include "resources/Resources.h"

#include <QFile>

#include <charconv>
#include <cmath>

namespace nimbora {

namespace {

// Splits one line into fields; quotes may enclose commas, "" inside quotes is one quote.
std::vector<std::string> SplitCsvLine(std::string_view line) {
    std::vector<std::string> fields(1);
    bool quoted = false;
    for (std::size_t i = 0; i < line.size(); ++i) {
        const char c = line[i];
        if (quoted) {
            if (c == '"') {
                if (i + 1 < line.size() && line[i + 1] == '"') {
                    fields.back() += '"';
                    ++i;
                } else {
                    quoted = false;
                }
            } else {
                fields.back() += c;
            }
        } else if (c == '"') {
            quoted = true;
        } else if (c == ',') {
            fields.emplace_back();
        } else {
            fields.back() += c;
        }
    }
    return fields;
}

bool ParseFloat(const std::string& text, float& value) {
    const char* first = text.data();
    const char* last = text.data() + text.size();
    while (first < last && *first == ' ')
        ++first;
    while (last > first && last[-1] == ' ')
        --last;
    if (first < last && *first == '+') ++first;
    const auto [end, ec] = std::from_chars(first, last, value);
    return ec == std::errc() && end == last && first != last && std::isfinite(value);
}

} // namespace

std::vector<TCountryRow> ReadCountryTable(std::string_view csv) {
    std::vector<TCountryRow> rows;
    bool first = true;
    while (!csv.empty()) {
        const std::size_t end = csv.find('\n');
        std::string_view line = csv.substr(0, end);
        csv = end == std::string_view::npos ? std::string_view() : csv.substr(end + 1);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        if (first) {
            first = false;
            if (line.starts_with("\xEF\xBB\xBF")) // byte order mark
                line.remove_prefix(3);
            if (line == "name,lat,lon") continue;
        }
        if (line.empty()) continue;
        const std::vector<std::string> fields = SplitCsvLine(line);
        TCountryRow row;
        if (fields.size() != 3 || fields[0].empty() || !ParseFloat(fields[1], row.Lat) ||
            !ParseFloat(fields[2], row.Lon))
            continue;
        row.Name = Utf8ToCp1252(fields[0]);
        rows.push_back(std::move(row));
    }
    return rows;
}

const std::vector<TCountryRow>& countries() {
    static const std::vector<TCountryRow> table = [] {
        InitNimboraResources();
        QFile file(QStringLiteral(":/places.csv"));
        if (!file.open(QIODevice::ReadOnly)) return std::vector<TCountryRow>();
        const QByteArray data = file.readAll();
        return ReadCountryTable(std::string_view(data.constData(), std::size_t(data.size())));
    }();
    return table;
}

void AddNamePoints(TDrawPointList& points) {
    const std::vector<TCountryRow>& table = countries();
    points.reserve(points.size() + table.size() + 1);
    for (const TCountryRow& row : table)
        points.push_back(MakeDrawPoint(row.Name, row.Lat, row.Lon, WpTCountry));
    points.push_back(MakeSpecialPoint());
}

} // namespace nimbora
