#include "weather/CloudJob.h"

#include "core/JpegSupport.h"
#include "core/Messages.h"

#include <utility>

namespace nimbora {

namespace {

// Decodes straight into the picture's rows, bottom row first.
class TCloudSink final : public TJpegRowSink {
public:
    TCloudSink(TCloudPixels& out, const TCancelCheck& cancelled) : Out(out), Cancelled(cancelled) {}

    bool Begin(int width, int height, int channels) override {
        Stride = static_cast<std::size_t>(width) * channels;
        Out.Pixels.resize(Stride * height);
        Out.Width = width;
        Out.Height = height;
        Out.Channels = channels;
        return true;
    }
    std::uint8_t* Row(int y) override {
        if (y % 16 == 0 && Cancelled && Cancelled()) return nullptr;
        return Out.Pixels.data() + Stride * (Out.Height - 1 - y);
    }

private:
    TCloudPixels& Out;
    const TCancelCheck& Cancelled;
    std::size_t Stride = 0;
};

} // namespace

bool DecodeCloudStream(std::span<const std::uint8_t> jpeg, TCloudPixels& out,
                       const TCancelCheck& cancelled) {
    out = {};
    TCloudSink sink(out, cancelled);
    const TJpegDecodeRules rules{MaxCloudTextureSide, MaxCloudTexturePixels, MaxJpegScans,
                                 TJpegLayout::GreyOrRgba};
    const bool ok = DecodeJpegRows(jpeg, rules, sink);
    if (!ok) out = {};
    return ok;
}

bool TCloudJobInfo::SameWork(const TCloudJobInfo& o) const {
    return Path == o.Path && Type == o.Type && Colour == o.Colour && Filter == o.Filter &&
           MaxSide == o.MaxSide && DownFilter == o.DownFilter && DownCredit == o.DownCredit &&
           LastMap.DateTime == o.LastMap.DateTime && LastMap.TimeZone == o.LastMap.TimeZone &&
           LastMap.Exists == o.LastMap.Exists;
}

bool PrepareCloudPixels(const TCloudJobInfo& info, TCloudPixels& out,
                        std::vector<std::uint8_t>& stream, const TCancelCheck& cancelled) {
    out = {};
    if (!FilterCloudPicture(info.Path, &stream, info.Type, info.Colour, info.Filter, info.MaxSide,
                            cancelled))
        return false;
    return DecodeCloudStream(stream, out, cancelled);
}

TCloudJob::~TCloudJob() {
    // The thread reads this object's members: it must end before they go.
    Terminate();
    Join();
}

void TCloudJob::Execute() {
    std::vector<std::uint8_t> stream;
    Ok = PrepareCloudPixels(Info, Result, stream, [this] { return Terminated(); });
}

TCloudPreparer::TCloudPreparer(QObject* endTarget, TReady ready)
    : Target(endTarget), Ready(std::move(ready)) {}

TCloudPreparer::~TCloudPreparer() {
    Stop();
}

void TCloudPreparer::Start(TCloudJobInfo info) {
    Job = std::make_unique<TCloudJob>(std::move(info));
    Stale = false;
    TCloudJob* job = Job.get();
    Job->OnTerminate = [this, job] {
        if (Job.get() == job) Ended();
    };
    Job->Start(Target);
}

void TCloudPreparer::Cancel() {
    Stale = true;
    Job->Terminate();
}

void TCloudPreparer::Request(TCloudJobInfo info) {
    if (Stopped) return;
    if (!Job) {
        Start(std::move(info));
        return;
    }
    if (!Stale && Job->Info.SameWork(info)) return;
    Cancel();
    Next = std::move(info);
}

void TCloudPreparer::Drop() {
    Next.reset();
    if (Job) Cancel();
}

void TCloudPreparer::Ended() {
    std::unique_ptr<TCloudJob> job = std::move(Job);
    if (!Stale) Ready(*job);
    Stale = false;
    // The decoded rows are in the texture now or not wanted; the object itself goes later,
    // from the window's own code, not from inside its end callback.
    job->Pixels() = {};
    PostCall(Target, [ended = std::shared_ptr<TCloudJob>(std::move(job))] {});
    if (Next) {
        TCloudJobInfo info = std::move(*Next);
        Next.reset();
        Start(std::move(info));
    }
}

void TCloudPreparer::Finish() {
    while (Job) {
        Job->Join();
        // Freed before its end callback runs, which then finds it gone and does nothing.
        std::unique_ptr<TCloudJob> job = std::move(Job);
        if (!Stale) Ready(*job);
        Stale = false;
        job.reset();
        if (Next) {
            TCloudJobInfo info = std::move(*Next);
            Next.reset();
            Start(std::move(info));
        }
    }
}

void TCloudPreparer::Stop() {
    Stopped = true;
    Next.reset();
    if (!Job) return;
    Job->DetachEndCallback();
    Job->Terminate();
    Job->Join();
    Job.reset();
}

} // namespace nimbora
