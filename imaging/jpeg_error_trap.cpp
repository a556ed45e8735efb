// Fatal libjpeg errors become a jump back into the loader that started the decode.
#include "imaging/jpeg_error_trap.h"

#include <cctype>
#include <cstring>

namespace {

JpegErrorTrap* TrapOf(j_common_ptr decoder) { return reinterpret_cast<JpegErrorTrap*>(decoder->err); }

// Reasons are lower case, but an acronym ("JPEG datastream ...") keeps its capitals.
void LowerFirstLetter(char* text) {
    if (text[0] && islower(static_cast<unsigned char>(text[1]))) {
        text[0] = static_cast<char>(tolower(static_cast<unsigned char>(text[0])));
    }
}

[[noreturn]] void LeaveOnFatalError(j_common_ptr decoder) {
    JpegErrorTrap* trap = TrapOf(decoder);
    (*decoder->err->format_message)(decoder, trap->Message);
    LowerFirstLetter(trap->Message);
    longjmp(trap->Escape, 1);
}

}  // namespace

jpeg_error_mgr* InitJpegErrorTrap(JpegErrorTrap* trap) {
    jpeg_error_mgr* manager = jpeg_std_error(&trap->Manager);
    manager->error_exit = LeaveOnFatalError;
    trap->Message[0] = '\0';
    return manager;
}

void AbandonJpegDecode(j_common_ptr decoder, const char* reason) {
    JpegErrorTrap* trap = TrapOf(decoder);
    snprintf(trap->Message, sizeof trap->Message, "%s", reason);
    longjmp(trap->Escape, 1);
}
