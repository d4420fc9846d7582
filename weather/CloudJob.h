#pragma once
// The cloud picture in hand made ready for its texture away from the window's thread: filtered,
// coded as JPEG and decoded again (so the texture holds exactly the pixels it always held), and
// handed over as rows OpenGL takes as they are. The window only uploads them.
//
// One preparation runs at a time. A new request while one runs cancels it; the request starts
// when the cancelled one has ended, with the inputs of the latest request, so quick toggles do
// not pile up workers and a result that no longer matches what was asked for is never shown.
#include "core/Iso8601.h"
#include "weather/CloudPicture.h"
#include "weather/WorkerThread.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

class QObject;

namespace nimbora {

// A decoded cloud picture: Channels 1 (grey) or 4 (RGBA, alpha 255) bytes per pixel, rows
// without padding, the bottom row first as OpenGL takes texture rows.
struct TCloudPixels {
    int Width = 0;
    int Height = 0;
    int Channels = 0;
    std::vector<std::uint8_t> Pixels;
};

// Decodes a picture as FilterCloudPicture codes it (grey or RGB, at most MaxCloudTextureSide a
// side and MaxCloudTexturePixels in all) into *out, through the decoder the textures use (so the
// pixels are the ones it makes). False, with out emptied, on damaged data or when cancelled.
bool DecodeCloudStream(std::span<const std::uint8_t> jpeg, TCloudPixels& out,
                       const TCancelCheck& cancelled = {});

// What one preparation needs, copied before it starts.
struct TCloudJobInfo {
    std::string Path; // the cached picture
    TTyp Type = TypUnk;
    bool Colour = false;
    std::uint8_t Filter = 0;
    int MaxSide = MaxCloudTextureSide; // what the OpenGL context takes
    // The labels the picture in hand takes once it is shown, as they stood when it was asked
    // for: the download that follows may change them before the result arrives.
    std::uint8_t DownFilter = 0;
    std::string DownCredit;
    TDateTimeZ LastMap;

    bool SameWork(const TCloudJobInfo& other) const;
};

// FilterCloudPicture, then DecodeCloudStream of its output. stream is the buffer for the coded
// picture (its memory is given back before the decoded rows grow).
bool PrepareCloudPixels(const TCloudJobInfo& info, TCloudPixels& out,
                        std::vector<std::uint8_t>& stream, const TCancelCheck& cancelled = {});

class TCloudJob : public TWorkerThread {
public:
    explicit TCloudJob(TCloudJobInfo info) : Info(std::move(info)) {}
    ~TCloudJob() override;

    const TCloudJobInfo Info;
    // Read once Finished(): true when the pixels are ready.
    bool Succeeded() const { return Ok; }
    TCloudPixels& Pixels() { return Result; }

protected:
    void Execute() override;

private:
    bool Ok = false;
    TCloudPixels Result;
};

class TCloudPreparer {
public:
    // ready runs on endTarget's thread with every result still wanted, failures included.
    using TReady = std::function<void(TCloudJob& job)>;
    TCloudPreparer(QObject* endTarget, TReady ready);
    ~TCloudPreparer();
    TCloudPreparer(const TCloudPreparer&) = delete;
    TCloudPreparer& operator=(const TCloudPreparer&) = delete;

    // Prepares info's picture. A running preparation of the same work is kept; any other is
    // cancelled, and this one starts once it has ended.
    void Request(TCloudJobInfo info);
    // The picture in hand changed: the running preparation's result is no longer wanted.
    void Drop();
    // Waits for what is running or asked for and delivers its result before returning.
    void Finish();
    // Cancels and waits; nothing is delivered any more (shutdown).
    void Stop();
    // A preparation runs or waits to run.
    bool Busy() const { return Job != nullptr || Next.has_value(); }

private:
    void Start(TCloudJobInfo info);
    void Ended();
    void Cancel();

    QObject* Target;
    TReady Ready;
    std::unique_ptr<TCloudJob> Job;
    bool Stale = false; // the running job's result is dropped
    std::optional<TCloudJobInfo> Next;
    bool Stopped = false;
};

} // namespace nimbora
