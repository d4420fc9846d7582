#include "weather/CloudJob.h"

#include "core/JpegSupport.h"
#include "core/Messages.h"

#include <csetjmp>
#include <utility>

namespace nimbora {

namespace {

// Everything that must survive a longjmp lives here, outside the setjmp frame.
struct TStreamDecode {
    jpeg_decompress_struct Info{};
    TJpegErrorManager Error{};
    std::jmp_buf Escape;
};

bool DecodeInto(TStreamDecode& s, std::span<const std::uint8_t> jpeg, TCloudPixels& out,
                const TCancelCheck& cancelled) {
    jpeg_decompress_struct& info = s.Info;
    if (setjmp(s.Escape)) return false;
    jpeg_create_decompress(&info);
    LimitJpegScans(s.Error, info, MaxJpegScans);
    jpeg_mem_src(&info, jpeg.data(), static_cast<unsigned long>(jpeg.size()));
    if (jpeg_read_header(&info, TRUE) != JPEG_HEADER_OK) return false;
    if (info.image_width == 0 || info.image_height == 0 || info.image_width > MaxCloudTextureSide ||
        info.image_height > MaxCloudTextureSide ||
        std::int64_t{info.image_width} * info.image_height > MaxCloudTexturePixels)
        return false;
    // The texture loader's own choices, so that the pixels are the ones it would make.
    if (info.num_components == 1 && info.jpeg_color_space == JCS_GRAYSCALE) {
        info.out_color_space = JCS_GRAYSCALE;
    } else if (info.num_components == 3 && info.jpeg_color_space == JCS_YCbCr) {
        // The RGB conversion with a full alpha byte added: OpenGL then takes the rows as they
        // are instead of converting 32 MB on the window's thread.
        info.out_color_space = JCS_EXT_RGBA;
    } else {
        return false;
    }
    jpeg_start_decompress(&info);
    const int width = static_cast<int>(info.output_width);
    const int height = static_cast<int>(info.output_height);
    const int channels = info.output_components;
    if (channels != (info.out_color_space == JCS_GRAYSCALE ? 1 : 4)) return false;
    const std::size_t stride = static_cast<std::size_t>(width) * channels;
    out.Pixels.resize(stride * height);
    out.Width = width;
    out.Height = height;
    out.Channels = channels;
    while (info.output_scanline < info.output_height) {
        if (info.output_scanline % 16 == 0 && cancelled && cancelled()) return false;
        // Bottom row first.
        JSAMPROW row = out.Pixels.data() + stride * (height - 1 - info.output_scanline);
        if (jpeg_read_scanlines(&info, &row, 1) != 1) return false;
    }
    jpeg_finish_decompress(&info);
    return true;
}

} // namespace

bool DecodeCloudStream(std::span<const std::uint8_t> jpeg, TCloudPixels& out,
                       const TCancelCheck& cancelled) {
    out = {};
    if (jpeg.size() < 4) return false;
    bool ok = false;
    try {
        TStreamDecode s;
        s.Info.err = UseJpegErrorManager(s.Error, s.Escape);
        ok = DecodeInto(s, jpeg, out, cancelled);
        jpeg_destroy_decompress(&s.Info);
    } catch (...) { // the rows could not be had
        ok = false;
    }
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
