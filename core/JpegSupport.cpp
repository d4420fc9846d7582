#include "core/JpegSupport.h"

// jerror.h after jpeglib.h: it needs its types.
#include <jerror.h>

namespace nimbora {

namespace {

TJpegErrorManager& ManagerOf(j_common_ptr cinfo) {
    return *reinterpret_cast<TJpegErrorManager*>(cinfo->err);
}

[[noreturn]] void ErrorExit(j_common_ptr cinfo) {
    std::longjmp(*ManagerOf(cinfo).Escape, 1);
}

// Warnings are silent, except those that mean picture data is missing: a picture cut short
// would otherwise be padded with grey and shown as if it were whole.
void EmitMessage(j_common_ptr cinfo, int level) {
    if (level >= 0) return;
    const int code = cinfo->err->msg_code;
    if (code == JWRN_JPEG_EOF || code == JWRN_HIT_MARKER) ErrorExit(cinfo);
    cinfo->err->num_warnings++;
}

void OutputMessage(j_common_ptr) {}

void ProgressMonitor(j_common_ptr cinfo) {
    if (!cinfo->is_decompressor) return;
    const int maxScans = ManagerOf(cinfo).MaxScans;
    if (maxScans > 0 && reinterpret_cast<j_decompress_ptr>(cinfo)->input_scan_number > maxScans) {
        cinfo->err->msg_code = JERR_BAD_SCAN_SCRIPT;
        ErrorExit(cinfo);
    }
}

} // namespace

jpeg_error_mgr* UseJpegErrorManager(TJpegErrorManager& errors, std::jmp_buf& escape) {
    errors.Escape = &escape;
    jpeg_std_error(&errors.Base);
    errors.Base.error_exit = ErrorExit;
    errors.Base.emit_message = EmitMessage;
    errors.Base.output_message = OutputMessage;
    return &errors.Base;
}

void LimitJpegScans(TJpegErrorManager& errors, jpeg_decompress_struct& info, int maxScans) {
    errors.MaxScans = maxScans;
    errors.Progress.progress_monitor = ProgressMonitor;
    info.progress = &errors.Progress;
}

} // namespace nimbora
