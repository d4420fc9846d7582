#include "ui/SaveView.h"

#include "platform/Files.h"
#include "widgets/uVistaFuncs.h"

#include <QApplication>
#include <QCursor>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QStandardPaths>

#include <chrono>
#include <cmath>
#include <csetjmp>
#include <cstdio>
#include <cstring>

#include <sys/stat.h>

#include <jerror.h>
#include <jpeglib.h>
#include <png.h>

namespace nimbora {

namespace {

constexpr std::size_t BmpHeaderSize = 54;

void Put16(std::uint8_t* p, std::uint32_t v) {
    p[0] = static_cast<std::uint8_t>(v);
    p[1] = static_cast<std::uint8_t>(v >> 8);
}

void Put32(std::uint8_t* p, std::uint32_t v) {
    Put16(p, v);
    Put16(p + 2, v >> 16);
}

std::uint32_t Get32(const std::uint8_t* p) {
    return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

std::uint32_t Get16(const std::uint8_t* p) {
    return p[0] | (p[1] << 8);
}

std::size_t BmpRowSize(int width) {
    return (static_cast<std::size_t>(width) * 3 + 3) & ~std::size_t{3};
}

// libjpeg reports errors by a jump back here instead of ending the process.
struct TJpegError {
    jpeg_error_mgr pub;
    std::jmp_buf jump;
    char message[JMSG_LENGTH_MAX];
};

void JpegErrorExit(j_common_ptr info) {
    auto* error = reinterpret_cast<TJpegError*>(info->err);
    (*info->err->format_message)(info, error->message);
    std::longjmp(error->jump, 1);
}

// Of zlib's levels 1 to 9: the globe's black background and flat oceans pack well even at a low one.
constexpr int PngCompressionLevel = 2;

void PngWriteData(png_structp png, png_bytep data, png_size_t length) {
    auto* out = static_cast<std::vector<std::uint8_t>*>(png_get_io_ptr(png));
    out->insert(out->end(), data, data + length);
}

void PngFlush(png_structp) {}

// Anything under the name, a dangling link too: the save would replace it.
bool PathTaken(const std::string& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0;
}

void PngError(png_structp png, png_const_charp message) {
    auto* error = static_cast<std::string*>(png_get_error_ptr(png));
    *error = message;
    png_longjmp(png, 1);
}

void PngWarning(png_structp, png_const_charp) {}

bool Encode(const std::string& target, const std::vector<std::uint8_t>& capture,
            std::vector<std::uint8_t>& out, std::string& error) {
    const std::string ext = LowerExtension(target);
    if (ext == ".bmp") {
        out = capture;
        return true;
    }
    TFrameImage image;
    if (!DecodeBmp24(capture, image)) {
        error = "Bitmap image is not valid";
        return false;
    }
    if (IsJpegExtension(ext)) return EncodeJpeg(image, SaveJpegQuality, out, error);
    return EncodePng(image, out, error);
}

} // namespace

std::string DefaultFrameName(double mapTime) {
    std::string name = "Weather";
    if (mapTime == 0 || !std::isfinite(mapTime) || std::fabs(mapTime) > 3e6) return name;
    using namespace std::chrono;
    const long long ms = std::llround(mapTime * 86400000.0);
    long long days = ms / 86400000;
    long long inDay = ms % 86400000;
    if (inDay < 0) {
        inDay += 86400000;
        --days;
    }
    const year_month_day date{sys_days{1899y / December / 30} + std::chrono::days{days}};
    const long long seconds = inDay / 1000;
    char text[32];
    std::snprintf(text, sizeof text, " %02d%02u%02u %02lld%02lld%02lld",
                  static_cast<int>(date.year()) % 100, static_cast<unsigned>(date.month()),
                  static_cast<unsigned>(date.day()), seconds / 3600, seconds / 60 % 60,
                  seconds % 60);
    return name + text;
}

std::string LowerExtension(const std::string& fileName) {
    const std::size_t slash = fileName.rfind('/');
    const std::size_t dot = fileName.rfind('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return {};
    std::string ext = fileName.substr(dot);
    for (char& c : ext)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return ext;
}

bool IsJpegExtension(const std::string& ext) {
    return ext == ".jpg" || ext == ".jpeg";
}

TSaveChoice ApplySaveExtension(const std::string& fileName, int filterIndex) {
    TSaveChoice choice{fileName, filterIndex};
    const std::string ext = LowerExtension(fileName);
    if (IsJpegExtension(ext)) {
        choice.FilterIndex = SaveFilterJpeg;
    } else if (ext == ".png") {
        choice.FilterIndex = SaveFilterPng;
    } else if (ext == ".bmp") {
        choice.FilterIndex = SaveFilterBmp;
    } else if (filterIndex == SaveFilterJpeg) {
        choice.FileName += ".jpg";
    } else if (filterIndex == SaveFilterPng) {
        choice.FileName += ".png";
    } else if (filterIndex == SaveFilterBmp) {
        choice.FileName += ".bmp";
    }
    return choice;
}

std::vector<std::uint8_t> EncodeBmp24(const TFrameImage& image) {
    const std::size_t row = BmpRowSize(image.Width);
    const std::size_t pixels = row * static_cast<std::size_t>(image.Height);
    std::vector<std::uint8_t> file(BmpHeaderSize + pixels, 0);
    std::uint8_t* h = file.data();
    h[0] = 'B';
    h[1] = 'M';
    Put32(h + 2, static_cast<std::uint32_t>(file.size()));
    Put32(h + 10, BmpHeaderSize);
    Put32(h + 14, 40);
    Put32(h + 18, static_cast<std::uint32_t>(image.Width));
    Put32(h + 22, static_cast<std::uint32_t>(image.Height)); // positive: bottom row first
    Put16(h + 26, 1);
    Put16(h + 28, 24);
    Put32(h + 34, static_cast<std::uint32_t>(pixels));
    Put32(h + 38, 2835); // 72 dots per inch
    Put32(h + 42, 2835);
    for (int y = 0; y < image.Height; ++y) {
        const std::uint8_t* src =
            image.Rgb.data() + static_cast<std::size_t>(image.Height - 1 - y) * image.Width * 3;
        std::uint8_t* dst = h + BmpHeaderSize + static_cast<std::size_t>(y) * row;
        for (int x = 0; x < image.Width; ++x) {
            dst[x * 3] = src[x * 3 + 2];
            dst[x * 3 + 1] = src[x * 3 + 1];
            dst[x * 3 + 2] = src[x * 3];
        }
    }
    return file;
}

bool DecodeBmp24(std::span<const std::uint8_t> file, TFrameImage& image, std::size_t maxPixels) {
    if (file.size() < BmpHeaderSize || file[0] != 'B' || file[1] != 'M') return false;
    const std::uint32_t offset = Get32(&file[10]);
    const auto width = static_cast<std::int32_t>(Get32(&file[18]));
    const auto height = static_cast<std::int32_t>(Get32(&file[22]));
    if (Get32(&file[14]) < 40 || Get16(&file[26]) != 1 || Get16(&file[28]) != 24 ||
        Get32(&file[30]) != 0 || width <= 0 || height <= 0 ||
        static_cast<std::uint64_t>(width) * static_cast<std::uint64_t>(height) > maxPixels)
        return false;
    const std::size_t row = BmpRowSize(width);
    if (offset < BmpHeaderSize || offset > file.size() ||
        (file.size() - offset) / row < static_cast<std::size_t>(height))
        return false;
    image.Width = width;
    image.Height = height;
    image.Rgb.assign(static_cast<std::size_t>(width) * height * 3, 0);
    for (int y = 0; y < height; ++y) {
        const std::uint8_t* src = file.data() + offset + static_cast<std::size_t>(y) * row;
        std::uint8_t* dst = image.Rgb.data() + static_cast<std::size_t>(height - 1 - y) * width * 3;
        for (int x = 0; x < width; ++x) {
            dst[x * 3] = src[x * 3 + 2];
            dst[x * 3 + 1] = src[x * 3 + 1];
            dst[x * 3 + 2] = src[x * 3];
        }
    }
    return true;
}

TFrameImage FrameFromBottomUp(int width, int height, std::vector<std::uint8_t> rgbBottomUp) {
    TFrameImage image;
    if (width <= 0 || height <= 0 ||
        rgbBottomUp.size() < static_cast<std::size_t>(width) * height * 3)
        return image;
    image.Width = width;
    image.Height = height;
    image.Rgb = std::move(rgbBottomUp);
    image.Rgb.resize(static_cast<std::size_t>(width) * height * 3);
    const std::size_t row = static_cast<std::size_t>(width) * 3;
    for (int y = 0; y < height / 2; ++y)
        std::swap_ranges(image.Rgb.begin() + static_cast<long>(y * row),
                         image.Rgb.begin() + static_cast<long>((y + 1) * row),
                         image.Rgb.begin() + static_cast<long>((height - 1 - y) * row));
    return image;
}

bool EncodeJpeg(const TFrameImage& image, int quality, std::vector<std::uint8_t>& out,
                std::string& error) {
    out.clear();
    jpeg_compress_struct encoder{};
    TJpegError jerr{};
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    encoder.err = jpeg_std_error(&jerr.pub);
    jerr.pub.error_exit = JpegErrorExit;
    if (setjmp(jerr.jump)) {
        jpeg_destroy_compress(&encoder);
        std::free(buffer);
        error = jerr.message;
        return false;
    }
    jpeg_create_compress(&encoder);
    jpeg_mem_dest(&encoder, &buffer, &size);
    encoder.image_width = static_cast<JDIMENSION>(image.Width);
    encoder.image_height = static_cast<JDIMENSION>(image.Height);
    encoder.input_components = 3;
    encoder.in_color_space = JCS_RGB;
    jpeg_set_defaults(&encoder);
    jpeg_set_quality(&encoder, quality, TRUE);
    jpeg_start_compress(&encoder, TRUE);
    while (encoder.next_scanline < encoder.image_height) {
        JSAMPROW row = const_cast<JSAMPROW>(
            image.Rgb.data() + static_cast<std::size_t>(encoder.next_scanline) * image.Width * 3);
        jpeg_write_scanlines(&encoder, &row, 1);
    }
    jpeg_finish_compress(&encoder);
    out.assign(buffer, buffer + size);
    jpeg_destroy_compress(&encoder);
    std::free(buffer);
    return true;
}

bool EncodePng(const TFrameImage& image, std::vector<std::uint8_t>& out, std::string& error) {
    out.clear();
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, &error, PngError, PngWarning);
    if (!png) {
        error = "Out of memory";
        return false;
    }
    png_infop info = png_create_info_struct(png);
    if (!info || setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, info ? &info : nullptr);
        if (error.empty()) error = "Out of memory";
        out.clear();
        return false;
    }
    png_set_write_fn(png, &out, PngWriteData, PngFlush);
    // zlib's default level spends a third of a large picture's time for a few per cent of size.
    png_set_compression_level(png, PngCompressionLevel);
    png_set_IHDR(png, info, static_cast<png_uint_32>(image.Width),
                 static_cast<png_uint_32>(image.Height), 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    for (int y = 0; y < image.Height; ++y)
        png_write_row(png, const_cast<png_bytep>(image.Rgb.data() +
                                                 static_cast<std::size_t>(y) * image.Width * 3));
    png_write_end(png, info);
    png_destroy_write_struct(&png, &info);
    return true;
}

std::string WriteCaptureFile(const std::string& tempFolder, const TFrameImage& image,
                             std::string& error) {
    error.clear();
    if (image.Width <= 0 || image.Height <= 0) return {};
    const std::string path = CreateUniqueFile(tempFolder, ".dat", error);
    if (path.empty()) return {};
    const std::vector<std::uint8_t> bmp = EncodeBmp24(image);
    if (!WriteFileReplacing(path, bmp, error)) {
        DeleteFileIfExists(path);
        return {};
    }
    return path;
}

std::string StoreCapture(const std::string& captureFile, const std::string& target) {
    if (captureFile.empty() || !FileExists(captureFile)) return {};
    std::string error;
    std::vector<std::uint8_t> capture, out;
    if (!ReadFileBytes(captureFile, std::size_t{1} << 31, capture)) {
        error = "Cannot read the captured view";
    } else if (Encode(target, capture, out, error) && WriteFileReplacing(target, out, error)) {
        error.clear();
    } else {
        error = "Cannot create file \"" + target + "\". " + error;
    }
    DeleteFileIfExists(captureFile);
    return error;
}

std::string StoreFrame(const TFrameImage& image, const std::string& target) {
    const std::string ext = LowerExtension(target);
    std::vector<std::uint8_t> out;
    std::string error;
    bool encoded = false;
    if (IsJpegExtension(ext)) {
        encoded = EncodeJpeg(image, SaveJpegQuality, out, error);
    } else if (ext == ".png") {
        encoded = EncodePng(image, out, error);
    } else if (ext == ".bmp") {
        out = EncodeBmp24(image);
        encoded = !out.empty();
        if (!encoded) error = "Bitmap image is not valid";
    } else {
        error = "Unknown picture type (use .jpg, .png or .bmp)";
    }
    if (encoded && WriteFileReplacing(target, out, error)) return {};
    return "Cannot create file \"" + target + "\". " + error;
}

// --- The dialog ---

TSaveFrameDialog::TSaveFrameDialog() = default;
TSaveFrameDialog::~TSaveFrameDialog() = default;

bool TSaveFrameDialog::Execute(QWidget* parent, std::string& fileName, int& filterIndex) {
    const QStringList filters = {QStringLiteral("JPEG image file (*.jpg)"),
                                 QStringLiteral("Portable Network Graphics image file (*.png)"),
                                 QStringLiteral("Bitmap image file (*.bmp)")};
    FileDialog = std::make_unique<QFileDialog>(parent);
    FileDialog->setObjectName("SaveFrameDialog");
    FileDialog->setAcceptMode(QFileDialog::AcceptSave);
    FileDialog->setFileMode(QFileDialog::AnyFile);
    FileDialog->setNameFilters(filters);
    FileDialog->setDefaultSuffix(QString::fromLatin1(SaveFrameDefaultExt));
    FileDialog->setOption(QFileDialog::ReadOnly, false);
    FileDialog->setSizeGripEnabled(true);
    // A name typed without an extension takes the chosen filter's (the dialog adds it).
    static constexpr const char* suffixes[] = {"jpg", "png", "bmp"};
    QObject::connect(FileDialog.get(), &QFileDialog::filterSelected, FileDialog.get(),
                     [d = FileDialog.get(), filters](const QString& filter) {
                         const auto index = filters.indexOf(filter);
                         if (index >= 0) d->setDefaultSuffix(QString::fromLatin1(suffixes[index]));
                     });
    if (FilterIndex >= 1 && FilterIndex <= 3) {
        FileDialog->selectNameFilter(filters[FilterIndex - 1]);
        FileDialog->setDefaultSuffix(QString::fromLatin1(suffixes[FilterIndex - 1]));
    }
    // The first proposal is a bare name: it goes into the user's pictures folder rather than
    // wherever the process or the toolkit's history happens to point.
    const QFileInfo proposal(QString::fromStdString(FileName));
    if (!FileName.empty() && FileName.find('/') == std::string::npos) {
        QString folder = QStandardPaths::writableLocation(QStandardPaths::PicturesLocation);
        if (folder.isEmpty() || !QFileInfo(folder).isDir()) folder = QDir::homePath();
        FileDialog->setDirectory(folder);
        FileDialog->selectFile(proposal.fileName());
    } else if (!FileName.empty()) {
        FileDialog->setDirectory(proposal.absolutePath());
        FileDialog->selectFile(proposal.fileName());
    }
    const bool ok =
        FileDialog->exec() == QDialog::Accepted && !FileDialog->selectedFiles().isEmpty();
    if (ok) {
        fileName = FileDialog->selectedFiles().first().toStdString();
        filterIndex = static_cast<int>(filters.indexOf(FileDialog->selectedNameFilter())) + 1;
        if (filterIndex <= 0) filterIndex = FilterIndex;
    }
    FileDialog.reset();
    return ok;
}

void SaveCurrentView(QWidget* owner, TSaveFrameDialog& dialog, const TSaveViewHooks& hooks) {
    if (dialog.FileName.empty()) dialog.FileName = DefaultFrameName(hooks.MapTime);
    std::string chosen;
    int filter = dialog.FilterIndex;
    if (!dialog.Execute(owner, chosen, filter)) return;
    const TSaveChoice choice = ApplySaveExtension(chosen, filter);
    // The dialog asked about the name it returned; a name extended after it is asked about
    // here. No is a cancel.
    if (choice.FileName != chosen && PathTaken(choice.FileName) &&
        TaskMessageBox(owner, QStringLiteral("Confirm Save As"),
                       QString::fromStdString(choice.FileName) +
                           QStringLiteral(" already exists.\nDo you want to replace it?"),
                       MbYes | MbNo, IconQuestion) != ResultYes)
        return;
    dialog.FileName = choice.FileName;
    dialog.FilterIndex = choice.FilterIndex;

    std::string capture, error;
    {
        // The option button must not be in the picture, and the user sees that work is done;
        // both come back however the capture ends.
        struct TRestore {
            QWidget* panel;
            ~TRestore() {
                QApplication::restoreOverrideCursor();
                if (panel) panel->show();
            }
        } restore{hooks.OptionPanel};
        QApplication::setOverrideCursor(Qt::PointingHandCursor);
        if (hooks.OptionPanel) hooks.OptionPanel->hide();
        QApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
        int width = 0, height = 0;
        std::vector<std::uint8_t> rgb;
        if (hooks.ReadFrame && hooks.ReadFrame(width, height, rgb))
            capture = WriteCaptureFile(hooks.TempFolder,
                                       FrameFromBottomUp(width, height, std::move(rgb)), error);
    }
    if (capture.empty()) {
        if (!error.empty())
            TaskMessageBox(owner, QStringLiteral("Error"), QString::fromStdString(error), MbOk,
                           IconError);
        return;
    }
    error = StoreCapture(capture, choice.FileName);
    if (!error.empty())
        TaskMessageBox(owner, QStringLiteral("Error"), QString::fromStdString(error), MbOk,
                       IconError);
}

} // namespace nimbora
