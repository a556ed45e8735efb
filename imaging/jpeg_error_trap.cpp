// Fatal libjpeg errors become a jump back into the loader that started the decode.
#include "imaging/jpeg_error_trap.h"

#include <cstring>

#include "imaging/image_loader.h"

namespace {

JpegErrorTrap* TrapOf(j_common_ptr decoder) { return reinterpret_cast<JpegErrorTrap*>(decoder->err); }

[[noreturn]] void LeaveOnFatalError(j_common_ptr decoder) {
    JpegErrorTrap* trap = TrapOf(decoder);
    (*decoder->err->format_message)(decoder, trap->Message);
    LowerFirstLetter(trap->Message);
    trap->Failure = LoadFailure::Decoder;
    longjmp(trap->Escape, 1);
}

}  // namespace

jpeg_error_mgr* InitJpegErrorTrap(JpegErrorTrap* trap) {
    jpeg_error_mgr* manager = jpeg_std_error(&trap->Manager);
    manager->error_exit = LeaveOnFatalError;
    trap->Failure = LoadFailure::None;
    trap->Message[0] = '\0';
    return manager;
}

void AbandonJpegDecode(j_common_ptr decoder, LoadFailure failure) {
    JpegErrorTrap* trap = TrapOf(decoder);
    trap->Failure = failure;
    trap->Manager.msg_code = 0;  // the reason is ours, not the library's last message
    longjmp(trap->Escape, 1);
}
