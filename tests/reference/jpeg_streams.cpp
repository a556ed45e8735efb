// Streams encoded with the library into memory, and cut or repeated by segment.
#include "tests/reference/jpeg_streams.h"

#include <cstdio>
#include <cstdlib>

#include <jpeglib.h>

namespace reference {

std::vector<JpegBytes> SplitJpegSegments(const JpegBytes& jpeg) {
    std::vector<JpegBytes> segments;
    size_t at = 2;  // after SOI
    segments.push_back(JpegBytes(jpeg.begin(), jpeg.begin() + 2));
    while (at + 2 <= jpeg.size() && jpeg[at] == 0xFF) {
        const unsigned char marker = jpeg[at + 1];
        if (marker == 0xD9) {
            segments.push_back(JpegBytes(jpeg.begin() + at, jpeg.begin() + at + 2));
            break;
        }
        if (at + 4 > jpeg.size()) break;
        size_t end = at + 2 + (jpeg[at + 2] << 8 | jpeg[at + 3]);
        if (marker == 0xDA) {  // entropy-coded data runs to the next marker other than RSTn
            while (end + 1 < jpeg.size() &&
                   !(jpeg[end] == 0xFF && jpeg[end + 1] != 0 && (jpeg[end + 1] < 0xD0 || jpeg[end + 1] > 0xD7))) {
                ++end;
            }
        }
        if (end > jpeg.size()) break;
        segments.push_back(JpegBytes(jpeg.begin() + at, jpeg.begin() + end));
        at = end;
    }
    return segments;
}

JpegBytes JoinSegments(const std::vector<JpegBytes>& segments) {
    JpegBytes joined;
    for (const JpegBytes& s : segments) joined.insert(joined.end(), s.begin(), s.end());
    return joined;
}

JpegBytes WithFrameSize(const JpegBytes& jpeg, uint16_t width, uint16_t height) {
    std::vector<JpegBytes> segments = SplitJpegSegments(jpeg);
    for (JpegBytes& s : segments) {
        // Every frame header: SOF0 to SOF15 but DHT, JPG and DAC.
        if (s[1] >= 0xC0 && s[1] <= 0xCF && s[1] != 0xC4 && s[1] != 0xC8 && s[1] != 0xCC) {
            s[5] = static_cast<unsigned char>(height >> 8);
            s[6] = static_cast<unsigned char>(height);
            s[7] = static_cast<unsigned char>(width >> 8);
            s[8] = static_cast<unsigned char>(width);
        }
    }
    return JoinSegments(segments);
}

JpegBytes WithScanCount(const JpegBytes& jpeg, int scans) {
    std::vector<JpegBytes> segments = SplitJpegSegments(jpeg);
    int present = 0;
    size_t lastScan = 0;
    for (size_t i = 0; i < segments.size(); ++i) {
        if (segments[i][1] == 0xDA) {
            ++present;
            lastScan = i;
        }
    }
    if (scans > present) {
        segments.insert(segments.begin() + static_cast<long>(lastScan) + 1, scans - present, segments[lastScan]);
    }
    return JoinSegments(segments);
}

JpegBytes WithSegmentsAfterSoi(const JpegBytes& jpeg, const std::vector<std::pair<unsigned char, JpegBytes>>& extra) {
    JpegBytes result(jpeg.begin(), jpeg.begin() + 2);
    for (const auto& [marker, payload] : extra) {
        const size_t length = payload.size() + 2;
        result.insert(result.end(),
                      {0xFF, marker, static_cast<unsigned char>(length >> 8), static_cast<unsigned char>(length)});
        result.insert(result.end(), payload.begin(), payload.end());
    }
    result.insert(result.end(), jpeg.begin() + 2, jpeg.end());
    return result;
}

namespace {

jpeg_scan_info Scan(int components, int first, int spectralStart, int spectralEnd) {
    jpeg_scan_info scan = {};
    scan.comps_in_scan = components;
    for (int c = 0; c < components; ++c) scan.component_index[c] = first + c;
    scan.Ss = spectralStart;
    scan.Se = spectralEnd;
    return scan;
}

// DC of every component together, then each AC coefficient of the first component on its own and
// the other components' in bands of 4 (and one of 3): 1 + 63 + 2 × 16 = 96 scans for colour, the
// most a scan script of the library's encoder may hold being 100; 64 for gray.
std::vector<jpeg_scan_info> ScanPerCoefficient(int components) {
    std::vector<jpeg_scan_info> scans = {Scan(components, 0, 0, 0)};
    for (int k = 1; k < 64; ++k) scans.push_back(Scan(1, 0, k, k));
    for (int c = 1; c < components; ++c) {
        for (int k = 1; k < 64; k += 4) scans.push_back(Scan(1, c, k, k + 3 < 64 ? k + 3 : 63));
    }
    return scans;
}

std::vector<jpeg_scan_info> DcThenAc(int components) {
    std::vector<jpeg_scan_info> scans = {Scan(components, 0, 0, 0)};
    for (int c = 0; c < components; ++c) scans.push_back(Scan(1, c, 1, 63));
    return scans;
}

unsigned char Sample(int x, int y, int channel, bool flat) {
    if (flat) return 128;
    const uint32_t mixed = static_cast<uint32_t>(x * 2654435761u) ^ static_cast<uint32_t>(y * 40503u + channel * 97u);
    return static_cast<unsigned char>((x * 3 + y * 5 + channel * 60) % 256 ^ (mixed >> 27));
}

}  // namespace

JpegBytes CompressPicture(int width, int height, int components, J_COLOR_SPACE inputSpace,
                          const std::function<void(jpeg_compress_struct& encoder)>& configure,
                          const std::function<void(int y, unsigned char* samples)>& row) {
    jpeg_compress_struct encoder;
    jpeg_error_mgr errors;
    encoder.err = jpeg_std_error(&errors);
    jpeg_create_compress(&encoder);
    unsigned char* out = nullptr;
    unsigned long outSize = 0;
    jpeg_mem_dest(&encoder, &out, &outSize);
    encoder.image_width = static_cast<JDIMENSION>(width);
    encoder.image_height = static_cast<JDIMENSION>(height);
    encoder.input_components = components;
    encoder.in_color_space = inputSpace;
    jpeg_set_defaults(&encoder);
    configure(encoder);
    jpeg_start_compress(&encoder, TRUE);
    std::vector<unsigned char> samples(static_cast<size_t>(width) * components);
    while (encoder.next_scanline < encoder.image_height) {
        row(static_cast<int>(encoder.next_scanline), samples.data());
        JSAMPROW rows[1] = {samples.data()};
        jpeg_write_scanlines(&encoder, rows, 1);
    }
    jpeg_finish_compress(&encoder);
    jpeg_destroy_compress(&encoder);
    JpegBytes jpeg(out, out + outSize);
    free(out);
    return jpeg;
}

JpegBytes EncodeJpeg(int width, int height, bool gray, bool flat, ScanLayout layout) {
    const int components = gray ? 1 : 3;
    std::vector<jpeg_scan_info> script;  // must outlive the compression
    auto configure = [&](jpeg_compress_struct& encoder) {
        jpeg_set_quality(&encoder, 90, TRUE);
        if (layout == ScanLayout::SimpleProgression) jpeg_simple_progression(&encoder);
        if (layout == ScanLayout::OneScanPerCoefficient || layout == ScanLayout::DcThenAc) {
            script = layout == ScanLayout::DcThenAc ? DcThenAc(encoder.num_components)
                                                    : ScanPerCoefficient(encoder.num_components);
            encoder.scan_info = script.data();
            encoder.num_scans = static_cast<int>(script.size());
        }
    };
    auto row = [&](int y, unsigned char* samples) {
        for (int i = 0; i < width * components; ++i) samples[i] = Sample(i / components, y, i % components, flat);
    };
    return CompressPicture(width, height, components, gray ? JCS_GRAYSCALE : JCS_RGB, configure, row);
}

JpegBytes ProgressiveSizeClaim(uint16_t width, uint16_t height, int scans) {
    std::vector<JpegBytes> segments = SplitJpegSegments(EncodeJpeg(16, 16, true, true, ScanLayout::SimpleProgression));
    std::vector<JpegBytes> kept;
    JpegBytes firstScan;
    for (const JpegBytes& s : segments) {
        if (s[1] == 0xDA) {
            if (firstScan.empty()) firstScan = s;
        } else if (s[1] != 0xD9) {
            kept.push_back(s);
        }
    }
    kept.insert(kept.end(), scans, firstScan);
    kept.push_back({0xFF, 0xD9});
    return WithFrameSize(JoinSegments(kept), width, height);
}

JpegBytes BaselineHeaderClaim(uint16_t width, uint16_t height) {
    std::vector<JpegBytes> segments = SplitJpegSegments(EncodeJpeg(16, 16, true, true, ScanLayout::Baseline));
    std::vector<JpegBytes> kept;
    for (JpegBytes s : segments) {
        if (s[1] == 0xDA) {
            s.resize(2 + (s[2] << 8 | s[3]));  // the scan header alone
            kept.push_back(s);
            break;
        }
        kept.push_back(s);
    }
    return WithFrameSize(JoinSegments(kept), width, height);
}

JpegBytes EndOfBandScans(int width, int height, int scans) {
    return WithScanCount(EncodeJpeg(width, height, true, true, ScanLayout::DcThenAc), scans);
}

JpegBytes ArithmeticSizeClaim(uint16_t width, uint16_t height, int components, bool progressive, int restartInterval) {
    auto configure = [&](jpeg_compress_struct& encoder) {
        encoder.arith_code = TRUE;
        encoder.restart_interval = static_cast<unsigned int>(restartInterval);
        if (components == 4) jpeg_set_colorspace(&encoder, JCS_YCCK);
        if (progressive) jpeg_simple_progression(&encoder);
    };
    const J_COLOR_SPACE space = components == 1 ? JCS_GRAYSCALE : components == 3 ? JCS_RGB : JCS_CMYK;
    auto row = [&](int y, unsigned char* samples) {
        for (int i = 0; i < 16 * components; ++i) samples[i] = Sample(i / components, y, i % components, false);
    };
    return WithFrameSize(CompressPicture(16, 16, components, space, configure, row), width, height);
}

JpegBytes FlatGrayBaseline(uint16_t width, uint16_t height) {
    // The library's standard tables code a DC difference of 0 as 00 and the end of block as
    // 1010: four blocks fill three bytes exactly, none of them 0xFF.
    std::vector<JpegBytes> segments =
        SplitJpegSegments(WithFrameSize(EncodeJpeg(8, 8, true, true, ScanLayout::Baseline), width, height));
    const uint64_t blocks = static_cast<uint64_t>((width + 7) / 8) * ((height + 7) / 8);
    const unsigned char fourBlocks[3] = {0x28, 0xA2, 0x8A};
    JpegBytes entropy;
    entropy.reserve(static_cast<size_t>(blocks / 4 * 3 + 4));
    for (uint64_t i = 0; i < blocks / 4; ++i) entropy.insert(entropy.end(), fourBlocks, fourBlocks + 3);
    // The remaining blocks, then 1-bits up to the byte boundary.
    uint32_t bits = 0, count = 0;
    for (uint64_t i = 0; i < blocks % 4; ++i) {
        bits = bits << 6 | 0x0A;
        count += 6;
    }
    while (count % 8) {
        bits = bits << 1 | 1;
        ++count;
    }
    for (int shift = static_cast<int>(count) - 8; shift >= 0; shift -= 8) {
        entropy.push_back(static_cast<unsigned char>(bits >> shift));
    }
    for (JpegBytes& s : segments) {
        if (s[1] == 0xDA) {
            s.resize(2 + (s[2] << 8 | s[3]));
            s.insert(s.end(), entropy.begin(), entropy.end());
        }
    }
    return JoinSegments(segments);
}

}  // namespace reference
