// The image loaders against the least work that could produce their result: LoadJpegFile against
// a plain libjpeg decode of the same file into one buffer, LoadBmpFile against one read of the
// file. The inputs, a 6000 × 4000 picture as a 4:2:0 quality-90 JPEG and as a 24-bit BMP, are
// made when the program starts, the JPEG also carrying an Adobe RGB (1998) profile, so that the
// colour step's share of a load shows. Each loader also reports its peak heap use beside its image
// block. A slide's preparation for a 1920 × 1080 screen is measured both ways: the picture loaded
// whole and then reduced, and its rows streamed through the reduction as they are decoded.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include <jpeglib.h>
#include <lcms2.h>

#include "heap_counter.h"
#include "imaging/bmp_file.h"
#include "imaging/bmp_loader.h"
#include "imaging/packed_dib.h"
#include "imaging/jpeg_decoder.h"
#include "render/prepared_load.h"
#include "tests/reference/jpeg_streams.h"
#include "tests/reference/reference_jpeg_decode.h"

namespace {

const int PictureWidth = 6000;
const int PictureHeight = 4000;

// Something like a photograph: smooth shading, edges and sensor-like noise, so the entropy coder
// and the upsampling have realistic work.
std::vector<unsigned char> PhotoLikeRow(int y) {
    std::vector<unsigned char> row(static_cast<size_t>(PictureWidth) * 3);
    uint32_t noise = 2463534242u ^ static_cast<uint32_t>(y) * 2654435761u;
    for (int x = 0; x < PictureWidth; ++x) {
        noise ^= noise << 13;
        noise ^= noise >> 17;
        noise ^= noise << 5;
        const double shade = 0.5 + 0.5 * std::sin(x * 0.004) * std::cos(y * 0.003);
        const int grain = static_cast<int>(noise % 17) - 8;
        const int edge = ((x / 240 + y / 160) % 2) ? 40 : 0;
        auto clamp = [](int v) { return static_cast<unsigned char>(v < 0 ? 0 : v > 255 ? 255 : v); };
        row[x * 3 + 0] = clamp(static_cast<int>(200 * shade) + edge + grain);
        row[x * 3 + 1] = clamp(static_cast<int>(x * 160 / PictureWidth + 60 * shade) + grain);
        row[x * 3 + 2] = clamp(static_cast<int>(y * 200 / PictureHeight) - edge / 2 + grain);
    }
    return row;
}

std::string TempPath(const char* name) {
    const char* directory = getenv("TMPDIR");
    return std::string(directory && *directory ? directory : "/tmp") + "/saver-bench-" + std::to_string(getpid()) +
           name;
}

bool WriteJpeg(const std::string& path) {
    FILE* file = fopen(path.c_str(), "wb");
    if (!file) return false;
    jpeg_compress_struct encoder;
    jpeg_error_mgr errors;
    encoder.err = jpeg_std_error(&errors);
    jpeg_create_compress(&encoder);
    jpeg_stdio_dest(&encoder, file);
    encoder.image_width = PictureWidth;
    encoder.image_height = PictureHeight;
    encoder.input_components = 3;
    encoder.in_color_space = JCS_RGB;
    jpeg_set_defaults(&encoder);  // 4:2:0 sampling
    jpeg_set_quality(&encoder, 90, TRUE);
    jpeg_start_compress(&encoder, TRUE);
    while (encoder.next_scanline < encoder.image_height) {
        std::vector<unsigned char> row = PhotoLikeRow(static_cast<int>(encoder.next_scanline));
        JSAMPROW rows[1] = {row.data()};
        jpeg_write_scanlines(&encoder, rows, 1);
    }
    jpeg_finish_compress(&encoder);
    jpeg_destroy_compress(&encoder);
    return fclose(file) == 0;
}

bool WriteBmp(const std::string& path) {
    PackedDib image = CreatePackedDib(PictureWidth, PictureHeight, 24);
    if (!image) return false;
    const size_t stride = static_cast<size_t>(DibStride(PictureWidth, 24));
    for (int y = 0; y < PictureHeight; ++y) {
        const std::vector<unsigned char> rgb = PhotoLikeRow(y);
        unsigned char* bgr = PackedDibBits(image) + stride * (PictureHeight - 1 - y);
        for (int x = 0; x < PictureWidth; ++x) {
            bgr[x * 3 + 0] = rgb[x * 3 + 2];
            bgr[x * 3 + 1] = rgb[x * 3 + 1];
            bgr[x * 3 + 2] = rgb[x * 3 + 0];
        }
    }
    const bool written = WriteBmpFile(path.c_str(), image, DibInfoHeaderSize + stride * PictureHeight);
    free(image);
    return written;
}

// The stream of `from` with an Adobe RGB (1998) profile in an APP2 segment.
bool WriteProfiledJpeg(const std::string& from, const std::string& path) {
    const cmsCIExyY white = {0.3127, 0.3290, 1};
    const cmsCIExyYTRIPLE primaries = {{0.64, 0.33, 1}, {0.21, 0.71, 1}, {0.15, 0.06, 1}};
    cmsToneCurve* curve = cmsBuildGamma(nullptr, 563 / 256.0);
    cmsToneCurve* curves[3] = {curve, curve, curve};
    cmsHPROFILE profile = cmsCreateRGBProfile(&white, &primaries, curves);
    cmsFreeToneCurve(curve);
    cmsUInt32Number length = 0;
    cmsSaveProfileToMem(profile, nullptr, &length);
    const char mark[] = "ICC_PROFILE";
    reference::JpegBytes payload(mark, mark + sizeof mark);
    payload.push_back(1);
    payload.push_back(1);
    payload.resize(payload.size() + length);
    cmsSaveProfileToMem(profile, payload.data() + payload.size() - length, &length);
    cmsCloseProfile(profile);
    FILE* in = fopen(from.c_str(), "rb");
    if (!in) return false;
    reference::JpegBytes jpeg;
    unsigned char buffer[65536];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, in)) > 0) jpeg.insert(jpeg.end(), buffer, buffer + n);
    fclose(in);
    const reference::JpegBytes profiled = reference::WithSegmentsAfterSoi(jpeg, {{0xE2, payload}});
    FILE* out = fopen(path.c_str(), "wb");
    if (!out) return false;
    const bool written = fwrite(profiled.data(), 1, profiled.size(), out) == profiled.size();
    return fclose(out) == 0 && written;
}

struct BenchInputs {
    std::string Jpeg;
    std::string ProfiledJpeg;
    std::string Bmp;
    bool Ready = false;
};

void RemoveInputs();

// Never destroyed: the removal at exit still needs the paths.
const BenchInputs& Inputs() {
    static const BenchInputs* inputs = [] {
        BenchInputs* made = new BenchInputs;
        made->Jpeg = TempPath(".jpg");
        made->ProfiledJpeg = TempPath("-adobe.jpg");
        made->Bmp = TempPath(".bmp");
        made->Ready = WriteJpeg(made->Jpeg) && WriteProfiledJpeg(made->Jpeg, made->ProfiledJpeg) && WriteBmp(made->Bmp);
        atexit(RemoveInputs);
        return made;
    }();
    return *inputs;
}

void RemoveInputs() {
    remove(Inputs().Jpeg.c_str());
    remove(Inputs().ProfiledJpeg.c_str());
    remove(Inputs().Bmp.c_str());
}

// Peak heap during one call, beside the size of the block the call returns.
void ReportPeak(benchmark::State& state, size_t peak, size_t block) {
    state.counters["peak_MB"] = static_cast<double>(peak) / 1e6;
    state.counters["block_MB"] = static_cast<double>(block) / 1e6;
    state.counters["peak_per_block"] = block ? static_cast<double>(peak) / static_cast<double>(block) : 0;
}

// One of the program's loaders on its input file, freed after each call.
void LoaderBench(benchmark::State& state, ImageLoader loader, const std::string& (*path)()) {
    if (!Inputs().Ready) return state.SkipWithError("cannot make the input files");
    size_t peak = 0, block = 0;
    for (auto _ : state) {
        ResetHeapPeak();
        const LoadResult loaded = loader(path().c_str(), NeverStop);
        PackedDib image = loaded.Image;
        peak = HeapPeakAboveStart();
        block = loaded.BlockSize;
        if (!image) return state.SkipWithError(loaded.Reason);
        benchmark::DoNotOptimize(image[40]);
        free(image);
    }
    ReportPeak(state, peak, block);
}

const std::string& JpegInput() { return Inputs().Jpeg; }
const std::string& ProfiledJpegInput() { return Inputs().ProfiledJpeg; }
const std::string& BmpInput() { return Inputs().Bmp; }

struct FileLoad {
    ImageLoader Loader;
    const char* Path;
};

LoadResult LoadTheFile(void* context, const LoadControl& control) {
    const FileLoad* load = static_cast<const FileLoad*>(context);
    return load->Loader(load->Path, control);
}

// A slide for a 1920 × 1080 screen, prepared from the picture loaded whole or streamed.
void PrepareBench(benchmark::State& state, ImageLoader loader, const std::string& (*path)(), bool streamed) {
    if (!Inputs().Ready) return state.SkipWithError("cannot make the input files");
    size_t peak = 0, block = 0;
    FileLoad load = {loader, path().c_str()};
    for (auto _ : state) {
        ResetHeapPeak();
        PreparedPicture picture;
        if (streamed) {
            LoadResult loaded;
            picture = LoadPreparedPicture(LoadTheFile, &load, NeverStop, 1920, 1080, false, &loaded);
        } else {
            const LoadResult loaded = loader(load.Path, NeverStop);
            picture = PreparePicture(loaded.Image, loaded.Orientation, 1920, 1080, false);
        }
        peak = HeapPeakAboveStart();
        if (!picture.Image.Block) return state.SkipWithError("no picture");
        const DibLayout& layout = picture.Image.Layout;
        block = layout.bitsOffset + DibStride(static_cast<uint64_t>(layout.width), 24) * layout.height;
        benchmark::DoNotOptimize(picture.Image.Block[40]);
        ReleasePreparedPicture(picture);
    }
    ReportPeak(state, peak, block);
}

void BareLibjpegDecodeBench(benchmark::State& state) {
    if (!Inputs().Ready) return state.SkipWithError("cannot make the input files");
    size_t peak = 0, block = 0;
    for (auto _ : state) {
        ResetHeapPeak();
        reference::JpegPicture picture;
        if (!reference::DecodeJpegFile(Inputs().Jpeg.c_str(), &picture)) return state.SkipWithError("decode failed");
        peak = HeapPeakAboveStart();
        block = static_cast<size_t>(picture.Width) * picture.Height * picture.Components;
        benchmark::DoNotOptimize(picture.Pixels[0]);
        free(picture.Pixels);
    }
    ReportPeak(state, peak, block);
}

// The least a loader of the file could do: size it, allocate once, read it with one call.
void ReadWholeFileBench(benchmark::State& state) {
    if (!Inputs().Ready) return state.SkipWithError("cannot make the input files");
    size_t peak = 0, block = 0;
    for (auto _ : state) {
        ResetHeapPeak();
        FILE* file = fopen(Inputs().Bmp.c_str(), "rb");
        if (!file) return state.SkipWithError("cannot open");
        fseek(file, 0, SEEK_END);
        const long length = ftell(file);
        fseek(file, 0, SEEK_SET);
        unsigned char* bytes = static_cast<unsigned char*>(malloc(static_cast<size_t>(length)));
        const size_t read = fread(bytes, 1, static_cast<size_t>(length), file);
        fclose(file);
        peak = HeapPeakAboveStart();
        block = read;
        benchmark::DoNotOptimize(bytes[54]);
        free(bytes);
    }
    ReportPeak(state, peak, block);
}

// Hostile streams at the sizes they are met in the wild: each must be refused, or stopped at the
// scan limit, at a small fraction of what its claimed size would cost.
void HostileJpegBench(benchmark::State& state, reference::JpegBytes (*make)()) {
    const reference::JpegBytes stream = make();
    const std::string path = TempPath("-hostile.jpg");
    FILE* file = fopen(path.c_str(), "wb");
    if (!file || fwrite(stream.data(), 1, stream.size(), file) != stream.size() || fclose(file) != 0) {
        return state.SkipWithError("cannot write the input");
    }
    size_t peak = 0;
    for (auto _ : state) {
        ResetHeapPeak();
        const LoadResult loaded = LoadJpegFile(path.c_str(), NeverStop);
        peak = HeapPeakAboveStart();
        if (loaded.Image) {
            free(loaded.Image);
            return state.SkipWithError("a hostile stream gave a picture");
        }
        state.SetLabel(loaded.Reason);
    }
    remove(path.c_str());
    state.counters["peak_MB"] = static_cast<double>(peak) / 1e6;
    state.counters["file_kB"] = static_cast<double>(stream.size()) / 1e3;
}

reference::JpegBytes ProgressiveClaim() { return reference::ProgressiveSizeClaim(23000, 23000, 1000); }
reference::JpegBytes BaselineClaim() { return reference::BaselineHeaderClaim(26000, 27000); }
reference::JpegBytes EndlessScans() { return reference::EndOfBandScans(8000, 8000, 1000); }

}  // namespace

BENCHMARK_CAPTURE(HostileJpegBench, progressive, ProgressiveClaim)
    ->Name("Loaders/Hostile_1000DcScans_claiming_23000x23000")
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK_CAPTURE(HostileJpegBench, baseline, BaselineClaim)
    ->Name("Loaders/Hostile_HeaderOnly_claiming_26000x27000")
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK_CAPTURE(HostileJpegBench, scans, EndlessScans)
    ->Name("Loaders/Hostile_8000x8000_1000EndOfBandScans")
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK_CAPTURE(LoaderBench, jpeg, LoadJpegFile, JpegInput)
    ->Name("Loaders/LoadJpegFile_6000x4000_q90_420")
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK_CAPTURE(LoaderBench, adobe, LoadJpegFile, ProfiledJpegInput)
    ->Name("Loaders/LoadJpegFile_6000x4000_q90_420_AdobeRGB")
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK(BareLibjpegDecodeBench)
    ->Name("Loaders/BareLibjpegDecode_6000x4000_q90_420")
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK_CAPTURE(LoaderBench, bmp, LoadBmpFile, BmpInput)
    ->Name("Loaders/LoadBmpFile_6000x4000_24bit")
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK_CAPTURE(PrepareBench, jpeg_whole, LoadJpegFile, JpegInput, false)
    ->Name("Prepare/Whole_Jpeg_6000x4000_for_1920x1080")
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK_CAPTURE(PrepareBench, jpeg_streamed, LoadJpegFile, JpegInput, true)
    ->Name("Prepare/Streamed_Jpeg_6000x4000_for_1920x1080")
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK_CAPTURE(PrepareBench, bmp_whole, LoadBmpFile, BmpInput, false)
    ->Name("Prepare/Whole_Bmp_6000x4000_for_1920x1080")
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK_CAPTURE(PrepareBench, bmp_streamed, LoadBmpFile, BmpInput, true)
    ->Name("Prepare/Streamed_Bmp_6000x4000_for_1920x1080")
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK(ReadWholeFileBench)
    ->Name("Loaders/ReadWholeFile_6000x4000_24bit")
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
