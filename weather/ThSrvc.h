#pragma once
// The server catalogue transfer: a worker thread that fetches the catalogue file into a
// temporary file and reports with the catalogue message.
#include "app/SharedTypes.h"
#include "weather/WorkerThread.h"

#include <QObject>
#include <cstdint>
#include <string>

namespace nimbora {

struct TWorkInfo {
    std::string Url;      // catalogue address with its query; empty: nothing to fetch
    std::string FileName; // receives the body
    TProxy Proxy;
    QObject* MainHandle = nullptr; // receives the catalogue message
};

// A catalogue is a few kilobytes; anything much larger is not one.
inline constexpr std::int64_t MaxCatalogueBytes = 1 << 20;

class TWorkTh : public TWorkerThread {
public:
    explicit TWorkTh(TWorkInfo info) : WorkInfo(std::move(info)) {}
    ~TWorkTh() override;

    TWorkInfo WorkInfo;
    // -1 while undecided; 0 success, 1 no usable body, 2 error status, 3 transport error,
    // 4 cancelled.
    int ThError() const { return FError; }

    int ConnectTimeoutMs = 20000;
    int LowSpeedSeconds = 30;

protected:
    void Execute() override;

private:
    int FError = -1;
    bool Connected = false;
    bool Working = false;
};

// The catalogue address with the program's query: name, version and a language.
std::string CatalogueRequestUrl(const std::string& catalogueUrl);

} // namespace nimbora
