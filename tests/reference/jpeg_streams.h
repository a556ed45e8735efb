// JPEG streams made and taken apart in memory with the library this build links: the pictures the
// loader tests and benchmarks need, hostile ones among them (frames claiming sizes their bytes
// cannot hold, endless scans), and the segment surgery that makes them.
#pragma once
#include <cstdint>
#include <cstdio>
#include <functional>
#include <utility>
#include <vector>

#include <jpeglib.h>

namespace reference {

typedef std::vector<unsigned char> JpegBytes;

// A stream cut into its marker segments; an entropy-coded scan stays with its SOS segment.
std::vector<JpegBytes> SplitJpegSegments(const JpegBytes& jpeg);
JpegBytes JoinSegments(const std::vector<JpegBytes>& segments);

// The stream with its frame header claiming another size.
JpegBytes WithFrameSize(const JpegBytes& jpeg, uint16_t width, uint16_t height);

// The stream with its last scan repeated until it has this many scans in all.
JpegBytes WithScanCount(const JpegBytes& jpeg, int scans);

// Segments (marker, payload) inserted right after the SOI marker.
JpegBytes WithSegmentsAfterSoi(const JpegBytes& jpeg, const std::vector<std::pair<unsigned char, JpegBytes>>& extra);

enum class ScanLayout {
    Baseline,               // one interleaved scan
    SimpleProgression,      // the library's standard progressive script
    OneScanPerCoefficient,  // spectral selection one coefficient at a time (colour: up to 100 scans)
    DcThenAc,               // one DC scan, then one scan of every AC coefficient per component
};

// Encodes a picture into memory: the encoder gets the size and the input's colour space, is set
// to the library's defaults and then by configure; row(y, samples) fills each row of samples.
JpegBytes CompressPicture(int width, int height, int components, J_COLOR_SPACE inputSpace,
                          const std::function<void(jpeg_compress_struct& encoder)>& configure,
                          const std::function<void(int y, unsigned char* samples)>& row);

// A picture of the given size encoded at quality 90: gray or YCbCr 4:2:0, flat (one grey) or with
// detail in every block.
JpegBytes EncodeJpeg(int width, int height, bool gray, bool flat, ScanLayout layout);

// Hostile streams, as an attacker makes them in a few bytes:
// a progressive frame claiming width × height over a tiny picture's scans, its first (DC) scan
// repeated until there are `scans`;
JpegBytes ProgressiveSizeClaim(uint16_t width, uint16_t height, int scans);
// a baseline frame claiming width × height that ends right after its scan header;
JpegBytes BaselineHeaderClaim(uint16_t width, uint16_t height);
// a complete flat gray progressive picture whose AC scan, end-of-band runs only, is repeated
// until there are `scans`.
JpegBytes EndOfBandScans(int width, int height, int scans);

// an arithmetic-coded frame (1, 3 or 4 components, sequential or progressive, a restart interval
// in MCUs or 0) claiming width × height over the coded data of 16 × 16 pixels;
JpegBytes ArithmeticSizeClaim(uint16_t width, uint16_t height, int components, bool progressive, int restartInterval);

// A valid baseline gray picture of any size, mid-grey, each 8 × 8 block coded in 6 bits (DC
// unchanged, end of block): a picture too large to hold whole in a few megabytes, made at once.
JpegBytes FlatGrayBaseline(uint16_t width, uint16_t height);

}  // namespace reference
