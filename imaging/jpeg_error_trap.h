// The decoders' error manager: the library's standard handlers, except that a fatal error leaves
// the decode through longjmp instead of ending the process, so one bad file costs one picture.
#pragma once
#include <csetjmp>
#include <cstdio>

#include <jpeglib.h>

#include "imaging/load_failure.h"

struct JpegErrorTrap {
    jpeg_error_mgr Manager;         // first: the library hands the handlers a pointer to it
    jmp_buf Escape;                 // where a fatal error goes; set by the decode before any library call
    LoadFailure Failure;            // why the decode was abandoned; Decoder: the library's message
    char Message[JMSG_LENGTH_MAX];  // that message, lower case
};

// Fills the trap with the library's standard handlers and puts its own fatal-error exit in place.
// Returns the manager to store in the decoder's err field.
jpeg_error_mgr* InitJpegErrorTrap(JpegErrorTrap* trap);

// Abandons the decode whose error manager is a JpegErrorTrap, for this reason. Does not return.
[[noreturn]] void AbandonJpegDecode(j_common_ptr decoder, LoadFailure failure);
