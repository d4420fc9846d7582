#include "render/JpegDecode.h"

#include "core/JpegSupport.h"

#include <algorithm>
#include <vector>

namespace nimbora {

namespace {

// Progressive files may hold any number of scans, each a full pass over the picture.
constexpr int MaxScans = 500;

// Gathers the rows of each band, bottom row first, and hands the band on when it is full.
class TBandSink final : public TJpegRowSink {
public:
    TBandSink(const TJpegBegin& begin, const TJpegBand& band, int bandRows)
        : BeginCall(begin), BandCall(band), BandRows(bandRows) {}

    bool Begin(int width, int height, int) override {
        if (!BeginCall(width, height)) return false;
        Height = height;
        Stride = static_cast<std::size_t>(width) * 4;
        Band.resize(Stride * static_cast<std::size_t>(std::min(BandRows, height)));
        return true;
    }
    std::uint8_t* Row(int y) override {
        const int first = y - y % BandRows;
        return Band.data() + Stride * (Count(first) - 1 - (y - first));
    }
    bool RowDone(int y) override {
        const int first = y - y % BandRows;
        return y - first < Count(first) - 1 || BandCall(first, Count(first), Band.data());
    }

private:
    int Count(int first) const { return std::min(BandRows, Height - first); }

    const TJpegBegin& BeginCall;
    const TJpegBand& BandCall;
    const int BandRows;
    int Height = 0;
    std::size_t Stride = 0;
    std::vector<std::uint8_t> Band;
};

} // namespace

bool DecodeJpegBands(std::span<const std::uint8_t> data, const TJpegBegin& begin,
                     const TJpegBand& band, int bandRows) {
    if (bandRows < 1) return false;
    TBandSink sink(begin, band, bandRows);
    const TJpegDecodeRules rules{MaxJpegSide, static_cast<std::int64_t>(MaxJpegPixels), MaxScans,
                                 TJpegLayout::Rgba};
    return DecodeJpegRows(data, rules, sink);
}

std::optional<TRgbaPicture> DecodeJpeg(std::span<const std::uint8_t> data) {
    TRgbaPicture picture;
    const auto begin = [&picture](int width, int height) {
        picture.Width = width;
        picture.Height = height;
        picture.Pixels.resize(static_cast<std::size_t>(width) * height * 4);
        return true;
    };
    // Each band lands where its rows go in the whole picture, bottom row first.
    const auto band = [&picture](int first, int count, const std::uint8_t* pixels) {
        const std::size_t stride = static_cast<std::size_t>(picture.Width) * 4;
        std::copy(pixels, pixels + stride * count,
                  picture.Pixels.data() + stride * (picture.Height - first - count));
        return true;
    };
    if (!DecodeJpegBands(data, begin, band)) return std::nullopt;
    return picture;
}

} // namespace nimbora
