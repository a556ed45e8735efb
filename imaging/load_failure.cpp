#include "imaging/load_failure.h"

const char* LoadFailureText(LoadFailure failure) {
    switch (failure) {
        case LoadFailure::None: return "";
        case LoadFailure::CutShort: return "load cut short";
        case LoadFailure::Decoder: return "decoder message";
        case LoadFailure::CannotOpen: return "cannot open file";
        case LoadFailure::CannotRead: return "cannot read file";
        case LoadFailure::EmptyFile: return "empty file";
        case LoadFailure::FileTooLarge: return "file too large";
        case LoadFailure::FileTruncated: return "file truncated";
        case LoadFailure::FileTooShortForHeader: return "file too short for its header";
        case LoadFailure::FileTooShortForColourTable: return "file too short for its colour table";
        case LoadFailure::FileTooShortForRows: return "file too short for its rows";
        case LoadFailure::FileTooShortForSize: return "file too short for its size";
        case LoadFailure::OutOfMemory: return "out of memory";
        case LoadFailure::ImageTooLarge: return "image too large";
        case LoadFailure::ImageTooLargeToDecode: return "image too large to decode";
        case LoadFailure::NotBmp: return "not a BMP file";
        case LoadFailure::NotPng: return "not a PNG file";
        case LoadFailure::NotWebp: return "not a WebP file";
        case LoadFailure::UnsupportedHeaderSize: return "unsupported header size";
        case LoadFailure::WidthNotPositive: return "width not positive";
        case LoadFailure::HeightIsZero: return "height is 0";
        case LoadFailure::PlanesNotOne: return "planes not 1";
        case LoadFailure::UnsupportedBitCount: return "unsupported bit count";
        case LoadFailure::CompressionDoesNotFitBitCount: return "compression does not fit the bit count";
        case LoadFailure::ColourTableLargerThanBitCount: return "colour table larger than the bit count allows";
        case LoadFailure::ColourTableTooLarge: return "colour table too large";
        case LoadFailure::TopDownRunLength: return "top-down run-length image";
        case LoadFailure::RunLengthSizeDoesNotFit: return "run-length size does not fit the file";
        case LoadFailure::TooManyScans: return "too many scans";
        case LoadFailure::InputSuspended: return "input suspended";
        case LoadFailure::UnsupportedColourSpace: return "unsupported colour space";
        case LoadFailure::DecoderReadNoRows: return "decoder read no rows";
        case LoadFailure::UnexpectedRowLayout: return "unexpected row layout";
        case LoadFailure::DamagedWebpFile: return "damaged WebP file";
        case LoadFailure::DamagedWebpData: return "damaged WebP data";
        case LoadFailure::UnsupportedWebpFeature: return "unsupported WebP feature";
        case LoadFailure::UnsupportedWebpLibrary: return "unsupported WebP library";
        case LoadFailure::WicLackingHere:
            return "decoded by Windows' own imaging component (WIC), which this system lacks";
        case LoadFailure::WicMissing: return "Windows' imaging component is missing";
        case LoadFailure::WicCannotDecode: return "Windows' imaging component cannot decode the file";
        case LoadFailure::WicNoFrame: return "Windows' imaging component gives no frame";
        case LoadFailure::WicCannotConvert: return "Windows' imaging component cannot convert the picture";
        case LoadFailure::NotAPictureByExtension: return "not a picture by its extension";
        case LoadFailure::PathTooLong: return "path too long";
        case LoadFailure::DirectoryCannotBeListed: return "directory cannot be listed";
        case LoadFailure::NoPictureToShow: return "no picture to show";
        case LoadFailure::NoLibraryMemory: return "no memory for the picture library";
        case LoadFailure::NoLogoResource: return "no logo resource";
    }
    return "";
}
