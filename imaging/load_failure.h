// Why a file gives no picture: one code for each reason this program finds itself, and Decoder for
// a decoding library's own message, which the load keeps as text. The codes' words are in one
// table (load_failure.cpp): what the tools print and the label a missing picture leaves.
#pragma once
#include <cstdint>

enum class LoadFailure : uint8_t {
    None,  // a picture
    CutShort,
    Decoder,  // the library's message says why
    // The file and the memory for it.
    CannotOpen,
    CannotRead,
    EmptyFile,
    FileTooLarge,
    FileTruncated,
    FileTooShortForHeader,
    FileTooShortForColourTable,
    FileTooShortForRows,
    FileTooShortForSize,
    OutOfMemory,
    ImageTooLarge,
    ImageTooLargeToDecode,
    // What the file holds.
    NotBmp,
    NotPng,
    NotWebp,
    UnsupportedHeaderSize,
    WidthNotPositive,
    HeightIsZero,
    PlanesNotOne,
    UnsupportedBitCount,
    CompressionDoesNotFitBitCount,
    ColourTableLargerThanBitCount,
    ColourTableTooLarge,
    TopDownRunLength,
    RunLengthSizeDoesNotFit,
    TooManyScans,
    InputSuspended,
    UnsupportedColourSpace,
    DecoderReadNoRows,
    UnexpectedRowLayout,
    DamagedWebpFile,
    DamagedWebpData,
    UnsupportedWebpFeature,
    UnsupportedWebpLibrary,
    // Windows' imaging component.
    WicLackingHere,
    WicMissing,
    WicCannotDecode,
    WicNoFrame,
    WicCannotConvert,
    // The walk and the program's own resources.
    NotAPictureByExtension,
    PathTooLong,
    DirectoryCannotBeListed,
    NoPictureToShow,
    NoLibraryMemory,
    NoLogoResource,
};

// The reason's words, lower case: "" for None, "decoder message" for Decoder (whose words the
// load carries itself).
const char* LoadFailureText(LoadFailure failure);
