#pragma once
// "Save current view...": the picture the globe's drawing area shows, saved as JPEG, PNG or BMP.
// The pieces without a window (names, extensions, the picture formats, the final write) are
// plain functions; SaveCurrentView conducts them around the save dialog.
#include <QString>

#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <vector>

class QFileDialog;
class QWidget;

namespace nimbora {

// Filter indexes of the save dialog, counted from 1 as its filter text lists them.
enum : int { SaveFilterJpeg = 1, SaveFilterPng = 2, SaveFilterBmp = 3 };
inline constexpr char SaveFrameFilter[] =
    "JPEG image file (*.jpg)|*.jpg|Portable Network Graphics image file (*.png)|*.png|"
    "Bitmap image file (*.bmp)|*.bmp";
inline constexpr char SaveFrameDefaultExt[] = "jpg";
inline constexpr int SaveJpegQuality = 100;

// A picture, top row first, 3 bytes R, G, B per pixel, rows packed.
struct TFrameImage {
    int Width = 0;
    int Height = 0;
    std::vector<std::uint8_t> Rgb;
};

// "Weather", and with a map on show its time (a local day count, 0 for none) as
// " yymmdd hhnnss": "Weather 201208 143005".
std::string DefaultFrameName(double mapTime);

// The lower-cased extension of a file name with its dot (".png"), or empty.
std::string LowerExtension(const std::string& fileName);

// ".jpg" and ".jpeg" (lower-cased, with the dot) both name a JPEG file.
bool IsJpegExtension(const std::string& ext);

// What the dialog's answer becomes: a known extension picks the filter (view.PNG -> PNG,
// view.jpeg -> JPEG), any other gets the filter's extension appended (view.gif with JPEG ->
// view.gif.jpg).
struct TSaveChoice {
    std::string FileName;
    int FilterIndex = SaveFilterJpeg;
};
TSaveChoice ApplySaveExtension(const std::string& fileName, int filterIndex);

// 24-bit BMP file (bottom-up rows padded to four bytes, B, G, R), and back. The reader takes
// only what the writer makes and refuses anything short, odd or larger than maxPixels.
std::vector<std::uint8_t> EncodeBmp24(const TFrameImage& image);
bool DecodeBmp24(std::span<const std::uint8_t> file, TFrameImage& image,
                 std::size_t maxPixels = 64u * 1024 * 1024);
// A GL read-back (bottom row first, RGB) as a top-down picture.
TFrameImage FrameFromBottomUp(int width, int height, std::vector<std::uint8_t> rgbBottomUp);

// JPEG at the given quality and PNG with the encoder's defaults. False with error set when the
// encoder refuses.
bool EncodeJpeg(const TFrameImage& image, int quality, std::vector<std::uint8_t>& out,
                std::string& error);
bool EncodePng(const TFrameImage& image, std::vector<std::uint8_t>& out, std::string& error);

// Writes a read-back into a new capture file (8 random characters + ".dat" in tempFolder,
// exclusive, owner-only). An empty picture writes nothing: the result is then empty with no
// error. On a failure the result is empty and error says why.
std::string WriteCaptureFile(const std::string& tempFolder, const TFrameImage& image,
                             std::string& error);

// The last step: the capture file as the chosen target, by the target's extension (".jpg" or
// ".jpeg": JPEG, ".png": PNG, ".bmp": the capture as it is). The target is replaced in one step and
// is never left half-written; the capture file is always deleted. Returns the error text, or empty
// on success (and when there was no capture file).
std::string StoreCapture(const std::string& captureFile, const std::string& target);

// A picture straight into the target by the target's extension (".jpg" or ".jpeg": JPEG, ".png":
// PNG, ".bmp": BMP), replaced in one step and never left half-written. Returns the error text,
// or empty on success.
std::string StoreFrame(const TFrameImage& image, const std::string& target);

// The save dialog of the whole run: it remembers the last name and filter between uses.
class TSaveFrameDialog {
public:
    TSaveFrameDialog();
    ~TSaveFrameDialog();
    // Shows the dialog over parent. On OK, name and filter index are the user's; false on Cancel.
    bool Execute(QWidget* parent, std::string& fileName, int& filterIndex);

    std::string FileName;             // the proposal and, after a save, the last name
    int FilterIndex = SaveFilterJpeg; // the last filter
    QFileDialog* Dialog() const { return FileDialog.get(); } // while Execute runs (tests)

private:
    std::unique_ptr<QFileDialog> FileDialog;
};

// What the save needs from the window.
struct TSaveViewHooks {
    // Reads the drawing area's pixels (bottom row first, RGB); false or a zero size when there
    // is nothing to read.
    std::function<bool(int& width, int& height, std::vector<std::uint8_t>& rgb)> ReadFrame;
    QWidget* OptionPanel = nullptr; // hidden while the frame is read
    std::string TempFolder;
    double MapTime = 0; // local day count of the cloud map on show, 0 for none
};

// The whole "Save current view..." operation; errors go to the standard error box. A name the
// dialog did not ask about (it got an extension afterwards) is replaced only when the user
// agrees.
void SaveCurrentView(QWidget* owner, TSaveFrameDialog& dialog, const TSaveViewHooks& hooks);

} // namespace nimbora
