// Rendering benchmarks: the production reduction and quantizer against their plain reference
// versions and against one memcpy of the image block, the floor for anything that reads it all.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <random>

#include "bench/heap_counter.h"
#include "imaging/packed_dib.h"
#include "platform/debug_output.h"
#include "render/backdrop.h"
#include "render/image_reducer.h"
#include "render/palette_entries.h"
#include "render/picture_turn.h"
#include "tests/reference/reference_palette.h"
#include "tests/reference/reference_reducer.h"

namespace {

void DropTrace(const char*) {}

size_t BlockSize(const unsigned char* image) {
    const DibLayout layout = ReadDibLayout(image);
    return layout.bitsOffset + DibStride(static_cast<uint64_t>(layout.width), 24) * layout.height;
}

// Smooth colour fields, a few hard-edged shapes, fine grain: what a photograph offers a
// reduction or a quantizer (many colours, most of them close to their neighbours').
PackedDib MakePhotoLikeImage(uint32_t width, uint32_t height, uint32_t seed) {
    PackedDib image = CreatePackedDib(width, height, 24);
    unsigned char* bits = PackedDibBits(image);
    const size_t stride = DibStride(width, 24);
    std::mt19937 random(seed);
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    struct Wave {
        double fx, fy, phase, amplitude;
    } waves[3][3];
    for (auto& channel : waves) {
        for (Wave& w : channel)
            w = {unit(random) * 9 / width, unit(random) * 9 / height, unit(random) * 6.3, 30 + 40 * unit(random)};
    }
    struct Disc {
        double x, y, r;
        int color[3];
    } discs[12];
    for (Disc& d : discs) {
        d = {unit(random) * width, unit(random) * height, (0.05 + 0.2 * unit(random)) * height, {}};
        for (int& c : d.color) c = static_cast<int>(random() % 256);
    }
    std::normal_distribution<double> grain(0.0, 4.0);
    for (uint32_t y = 0; y < height; ++y) {
        unsigned char* row = bits + y * stride;
        memset(row + 3 * width, 0, stride - 3 * width);
        for (uint32_t x = 0; x < width; ++x) {
            double value[3];
            for (int c = 0; c < 3; ++c) {
                value[c] = 128;
                for (const Wave& w : waves[c])
                    value[c] += w.amplitude * std::sin(6.283 * (w.fx * x + w.fy * y) + w.phase);
            }
            for (const Disc& d : discs) {
                const double dx = x - d.x, dy = y - d.y;
                if (dx * dx + dy * dy < d.r * d.r) {
                    const double shade = 0.75 + 0.25 * std::sin((dx + dy) / d.r * 3);
                    for (int c = 0; c < 3; ++c) value[c] = d.color[c] * shade + 0.2 * value[c];
                }
            }
            for (int c = 0; c < 3; ++c) {
                const long v = std::lround(value[c] + grain(random));
                row[3 * x + 2 - c] = static_cast<unsigned char>(v < 0 ? 0 : v > 255 ? 255 : v);
            }
        }
    }
    return image;
}

struct SourceImage {
    uint32_t Width;
    uint32_t Height;
    PackedDib Master;
    PackedDib Work;
    size_t Size;
};

// One picture per size the benchmarks use (up to 8), made on first use.
SourceImage& Source(uint32_t width, uint32_t height) {
    static SourceImage sources[8] = {};
    size_t i = 0;
    while (sources[i].Master && (sources[i].Width != width || sources[i].Height != height)) {
        if (++i == 8) abort();
    }
    SourceImage& s = sources[i];
    if (!s.Master) {
        s.Width = width;
        s.Height = height;
        s.Master = MakePhotoLikeImage(width, height, width);
        s.Size = BlockSize(s.Master);
        s.Work = static_cast<PackedDib>(malloc(s.Size));
        memcpy(s.Work, s.Master, s.Size);
    }
    return s;
}

// Extra heap an operation held at its peak, next to the size of the block it worked on.
void ReportPeak(benchmark::State& state, size_t peak, size_t block) {
    state.counters["peak_KB"] = static_cast<double>(peak) / 1024;
    state.counters["block_MB"] = static_cast<double>(block) / (1024 * 1024);
}

template <class Reducer>
void Fit(benchmark::State& state, uint32_t width, uint32_t height, int32_t targetWidth, int32_t targetHeight) {
    SourceImage& s = Source(width, height);
    SetDebugOutputSink(DropTrace);
    size_t peak = 0;
    for (auto _ : state) {
        state.PauseTiming();
        memcpy(s.Work, s.Master, s.Size);
        ResetHeapPeak();
        state.ResumeTiming();
        Reducer().ProcessImage(s.Work, targetWidth, targetHeight);
        peak = HeapPeakAboveStart();
    }
    SetDebugOutputSink(nullptr);
    ReportPeak(state, peak, s.Size);
}

// The floor for anything that reads the whole block once: one copy of it.
void CopyBlock(benchmark::State& state, uint32_t width, uint32_t height) {
    SourceImage& s = Source(width, height);
    void* copy = malloc(s.Size);
    memset(copy, 1, s.Size);
    for (auto _ : state) {
        state.PauseTiming();
        memcpy(s.Work, s.Master, s.Size);
        state.ResumeTiming();
        memcpy(copy, s.Work, s.Size);
        benchmark::ClobberMemory();
    }
    free(copy);
    ReportPeak(state, 0, s.Size);
}

// The turn a picture taken with the camera on its side gets: a new block of the turned shape, the
// old one freed. With a target, the picture is first reduced to fit it once turned, as the
// presenter does, so that the turn works on the small picture.
void Turn(benchmark::State& state, uint32_t width, uint32_t height, uint8_t orientation, int32_t targetWidth = 0,
          int32_t targetHeight = 0) {
    SourceImage& s = Source(width, height);
    SetDebugOutputSink(DropTrace);
    size_t peak = 0;
    for (auto _ : state) {
        state.PauseTiming();
        PackedDib image = static_cast<PackedDib>(malloc(s.Size));
        memcpy(image, s.Master, s.Size);
        ResetHeapPeak();
        state.ResumeTiming();
        if (targetWidth > 0) {
            const bool swaps = OrientationSwapsSides(orientation);
            ImageReducer().ProcessImage(image, swaps ? targetHeight : targetWidth, swaps ? targetWidth : targetHeight);
        }
        image = TurnUpright(ReadDibPicture(image), orientation).Block;
        peak = HeapPeakAboveStart();
        benchmark::DoNotOptimize(image);
        state.PauseTiming();
        free(image);
        state.ResumeTiming();
    }
    SetDebugOutputSink(nullptr);
    ReportPeak(state, peak, s.Size);
}

// The palette a 256-colour display gets for a picture: the octree's work.
template <LogPalette* (*BuildPalette)(const unsigned char*)>
void Palette(benchmark::State& state, uint32_t width, uint32_t height) {
    SourceImage& s = Source(width, height);
    size_t peak = 0;
    for (auto _ : state) {
        ResetHeapPeak();
        LogPalette* palette = BuildPalette(s.Master);
        peak = HeapPeakAboveStart();
        benchmark::DoNotOptimize(palette);
        free(palette);
    }
    ReportPeak(state, peak, s.Size);
}

// The soft backdrop beside a fitted portrait photo: all the worker adds to a slide for it.
void Backdrop(benchmark::State& state, uint32_t width, uint32_t height, int32_t areaWidth, int32_t areaHeight) {
    SourceImage& s = Source(width, height);
    for (auto _ : state) {
        const DibPicture backdrop = MakeBackdrop(ReadDibPicture(s.Master), areaWidth, areaHeight);
        benchmark::DoNotOptimize(backdrop.Block);
        free(backdrop.Block);
    }
}

// The names are what scripts/bench pairs up; the 6000 × 4000 palette shows that the quantizer's
// memory does not grow with the picture.
bool RegisterRenderBenchmarks() {
    const struct {
        const char* Name;
        void (*Run)(benchmark::State&);
    } benchmarks[] = {
        {"Render/Fit_6000x4000_to_1620x1080",
         [](benchmark::State& state) { Fit<ImageReducer>(state, 6000, 4000, 1620, 1080); }},
        {"Render/FitReference_6000x4000_to_1620x1080",
         [](benchmark::State& state) { Fit<reference::ImageReducer>(state, 6000, 4000, 1620, 1080); }},
        {"Render/CopyBlock_6000x4000", [](benchmark::State& state) { CopyBlock(state, 6000, 4000); }},
        {"Render/Fit_3000x2000_to_1024x768",
         [](benchmark::State& state) { Fit<ImageReducer>(state, 3000, 2000, 1024, 768); }},
        {"Render/FitReference_3000x2000_to_1024x768",
         [](benchmark::State& state) { Fit<reference::ImageReducer>(state, 3000, 2000, 1024, 768); }},
        {"Render/CopyBlock_3000x2000", [](benchmark::State& state) { CopyBlock(state, 3000, 2000); }},
        {"Render/Turn6_1024x768", [](benchmark::State& state) { Turn(state, 1024, 768, 6); }},
        {"Render/Turn3_1024x768", [](benchmark::State& state) { Turn(state, 1024, 768, 3); }},
        {"Render/FitTurn6_6000x4000_to_1920x1080",
         [](benchmark::State& state) { Turn(state, 6000, 4000, 6, 1920, 1080); }},
        {"Render/CopyBlock_1024x768", [](benchmark::State& state) { CopyBlock(state, 1024, 768); }},
        {"Render/Backdrop_720x1080_for_1920x1080",
         [](benchmark::State& state) { Backdrop(state, 720, 1080, 1920, 1080); }},
        {"Render/CopyBlock_1920x1080", [](benchmark::State& state) { CopyBlock(state, 1920, 1080); }},
        {"Render/Palette_1620x1080",
         [](benchmark::State& state) { Palette<CreateBIPaletteEntries>(state, 1620, 1080); }},
        {"Render/PaletteReference_1620x1080",
         [](benchmark::State& state) { Palette<reference::CreateBIPaletteEntries>(state, 1620, 1080); }},
        {"Render/Palette_6000x4000",
         [](benchmark::State& state) { Palette<CreateBIPaletteEntries>(state, 6000, 4000); }},
    };
    for (const auto& b : benchmarks)
        benchmark::RegisterBenchmark(b.Name, b.Run)->Unit(benchmark::kMillisecond)->UseRealTime();
    return true;
}

const bool Registered = RegisterRenderBenchmarks();

}  // namespace
