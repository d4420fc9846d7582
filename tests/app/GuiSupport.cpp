#include "GuiSupport.h"
#include "app/TestSeam.h"

#include "core/TextHelpers.h"

#include <QDir>
#include <cstdio>
#include <cstdlib>
#include <jpeglib.h>
#include <sstream>
#include <vector>

namespace nimbora::test {

TScratchHome::TScratchHome() {
    if (const char* old = std::getenv("XDG_DATA_HOME")) OldXdg = old, HadXdg = true;
    setenv("XDG_DATA_HOME", Dir.str().c_str(), 1);
}

std::string TScratchHome::SettingsFile() const {
    // Named after the executable, as the program names its own.
    return DataFolder() +
           LowerAscii(QCoreApplication::applicationFilePath().section('/', -1).toStdString()) +
           ".ini";
}

TScratchHome::~TScratchHome() {
    HadXdg ? setenv("XDG_DATA_HOME", OldXdg.c_str(), 1) : unsetenv("XDG_DATA_HOME");
}

std::string TScratchHome::MakeDataFolder() const {
    QDir().mkpath(QString::fromStdString(DataFolder()));
    return DataFolder();
}

std::unique_ptr<TMainForm> StartMainForm() {
    auto form = std::make_unique<TMainForm>();
    // Nothing answers on the discard port: an update started by itself fails at once.
    TMainFormTestSeam::SetBuiltInServer(*form, TMap{"http://127.0.0.1:9/clouds.jpg", 190, "test"});
    form->show();
    WaitFor([&] { return Seam::StartupDone(*form); });
    return form;
}

TIniValue IniValue(const std::string& text, const std::string& section, const std::string& key) {
    std::istringstream in(text);
    std::string line, current;
    while (std::getline(in, line)) {
        const std::string t = Trim(line, LineBlanks);
        if (t.size() >= 2 && t.front() == '[' && t.back() == ']') {
            current = LowerAscii(t.substr(1, t.size() - 2));
            continue;
        }
        const auto eq = t.find('=');
        if (eq == std::string::npos || current != LowerAscii(section)) continue;
        if (EqualNoCase(Trim(t.substr(0, eq), LineBlanks), key))
            return {true, Trim(t.substr(eq + 1), LineBlanks)};
    }
    return {};
}

int CountKeys(const std::string& text) {
    std::istringstream in(text);
    std::string line;
    int n = 0;
    while (std::getline(in, line)) {
        const std::string t = Trim(line, LineBlanks);
        if (!t.empty() && t.front() != '[' && t.find('=') != std::string::npos) ++n;
    }
    return n;
}

std::string GreyJpeg(int width, int height, unsigned char level, int quality) {
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    jpeg_compress_struct cinfo{};
    jpeg_error_mgr jerr{};
    cinfo.err = jpeg_std_error(&jerr);
    jpeg_create_compress(&cinfo);
    jpeg_mem_dest(&cinfo, &buffer, &size);
    cinfo.image_width = JDIMENSION(width);
    cinfo.image_height = JDIMENSION(height);
    cinfo.input_components = 1;
    cinfo.in_color_space = JCS_GRAYSCALE;
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, quality, TRUE);
    jpeg_start_compress(&cinfo, TRUE);
    std::vector<unsigned char> row(std::size_t(width), level);
    while (cinfo.next_scanline < cinfo.image_height) {
        JSAMPROW rows[1] = {row.data()};
        jpeg_write_scanlines(&cinfo, rows, 1);
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    std::string bytes(reinterpret_cast<char*>(buffer), size);
    std::free(buffer);
    return bytes;
}

int WarmPixels(const QImage& frame) {
    int n = 0;
    for (int y = 0; y < frame.height(); ++y)
        for (int x = 0; x < frame.width(); ++x) {
            const QRgb p = frame.pixel(x, y);
            n += qRed(p) > 110 && qRed(p) > qBlue(p) + 50 && qGreen(p) > qBlue(p);
        }
    return n;
}

} // namespace nimbora::test
