// A picture loaded and prepared for an area in one go: the loaders that can hand over their rows
// as they decode them feed the reduction straight away, so the whole picture is never held.
#pragma once
#include <cstdint>

#include "imaging/image_loader.h"
#include "render/prepared_picture.h"

// One load: a loader call, or a walk that tries entries until one loads.
typedef LoadResult (*PictureLoad)(void* context, const LoadControl& control);

// Runs load with control and a sink that fits the rows to width × height, then prepares the
// picture as PreparePicture does (the same pixels as loading whole, then preparing). *loaded: what
// the load said; its image now belongs to the picture and reads none.
PreparedPicture LoadPreparedPicture(PictureLoad load, void* context, const LoadControl& control, int32_t width,
                                    int32_t height, bool paletteDisplay, LoadResult* loaded);
