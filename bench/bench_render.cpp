// Rendering benchmarks: the production reduction and quantizer against their plain reference
// versions and against one memcpy of the image block, the floor for anything that reads it all.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <random>

#include "imaging/packed_dib.h"
#include "platform/debug_output.h"
#include "render/image_reducer.h"
#include "render/palette_entries.h"
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
        for (Wave& w : channel) w = {unit(random) * 9 / width, unit(random) * 9 / height, unit(random) * 6.3, 30 + 40 * unit(random)};
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
                for (const Wave& w : waves[c]) value[c] += w.amplitude * std::sin(6.283 * (w.fx * x + w.fy * y) + w.phase);
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
    PackedDib Master;
    PackedDib Work;
    size_t Size;
};

SourceImage& Source(uint32_t width, uint32_t height) {
    static SourceImage large = {}, medium = {}, screen = {};
    SourceImage& s = width == 6000 ? large : width == 3000 ? medium : screen;
    if (!s.Master) {
        s.Master = MakePhotoLikeImage(width, height, width);
        s.Size = BlockSize(s.Master);
        s.Work = static_cast<PackedDib>(malloc(s.Size));
        memcpy(s.Work, s.Master, s.Size);
    }
    return s;
}

template <class Reducer>
void Fit(benchmark::State& state) {
    SourceImage& s = Source(static_cast<uint32_t>(state.range(0)), static_cast<uint32_t>(state.range(1)));
    SetDebugOutputSink(DropTrace);
    for (auto _ : state) {
        state.PauseTiming();
        memcpy(s.Work, s.Master, s.Size);
        state.ResumeTiming();
        Reducer().ProcessImage(s.Work, static_cast<int32_t>(state.range(2)), static_cast<int32_t>(state.range(3)));
    }
    SetDebugOutputSink(nullptr);
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * s.Size));
}

void CopyBlock(benchmark::State& state) {
    SourceImage& s = Source(static_cast<uint32_t>(state.range(0)), static_cast<uint32_t>(state.range(1)));
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
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * s.Size));
}

void FitProduction(benchmark::State& state) { Fit<ImageReducer>(state); }
void FitReference(benchmark::State& state) { Fit<reference::ImageReducer>(state); }

// The palette a 256-colour display gets for a screen-sized picture: the octree's work.
template <LogPalette* (*BuildPalette)(const unsigned char*)>
void Palette(benchmark::State& state) {
    SourceImage& s = Source(1620, 1080);
    for (auto _ : state) {
        LogPalette* palette = BuildPalette(s.Master);
        benchmark::DoNotOptimize(palette);
        free(palette);
    }
}

void PaletteProduction(benchmark::State& state) { Palette<CreateBIPaletteEntries>(state); }
void PaletteReference(benchmark::State& state) { Palette<reference::CreateBIPaletteEntries>(state); }

}  // namespace

BENCHMARK(FitProduction)->Args({6000, 4000, 1620, 1080})->Args({3000, 2000, 1024, 768})->Unit(benchmark::kMillisecond);
BENCHMARK(FitReference)->Args({6000, 4000, 1620, 1080})->Args({3000, 2000, 1024, 768})->Unit(benchmark::kMillisecond);
BENCHMARK(CopyBlock)->Args({6000, 4000})->Args({3000, 2000})->Unit(benchmark::kMillisecond);
BENCHMARK(PaletteProduction)->Unit(benchmark::kMillisecond);
BENCHMARK(PaletteReference)->Unit(benchmark::kMillisecond);
