// The Windows Imaging Component, reached at run time: ole32 is loaded by name and the factory made
// with CoCreateInstance, so the program imports nothing new and still starts where neither exists
// (Windows 95 and 98, XP before SP3 without the component). Every call initialises COM for its
// own thread and leaves it as it found it. The first frame is converted to premultiplied
// blue-green-red-alpha (the colour on black), copied a batch of rows at a time between questions
// whether to go on; its orientation metadata and its colour profile are passed on as the other
// loaders pass theirs.
#include "imaging/system_decoders.h"

#include <windows.h>
#include <wincodec.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "imaging/colour_profile.h"
#include "platform/handle_scopes_win32.h"

namespace {

// Spelled out here: the SDK's own definitions live in an import library this program does not link.
const CLSID WicFactoryClass = {0xcacaf262, 0x9370, 0x4615, {0xa1, 0x3b, 0x9f, 0x55, 0x39, 0xda, 0x4c, 0x0a}};
const IID WicFactoryInterface = {0xec5ec8a9, 0xc395, 0x4314, {0x9c, 0x77, 0x54, 0xd7, 0xa9, 0x35, 0xff, 0x70}};
const IID CodecInfoInterface = {0xe87a44c4, 0xb76e, 0x4c47, {0x8b, 0x09, 0x29, 0x8e, 0xb1, 0x2a, 0x27, 0x14}};
const GUID PremultipliedBgra = {0x6fddc324, 0x4e03, 0x4bfe, {0xb1, 0x85, 0x3d, 0x77, 0x76, 0x8d, 0xc9, 0x10}};

const UINT RowBatch = 16;
const UINT MostProfileBytes = 16u << 20;

typedef HRESULT(WINAPI* CoInitializeCall)(LPVOID reserved);
typedef void(WINAPI* CoUninitializeCall)();
typedef HRESULT(WINAPI* CoCreateInstanceCall)(REFCLSID type, LPUNKNOWN outer, DWORD context, REFIID interfaceId,
                                              LPVOID* made);
typedef HRESULT(WINAPI* PropVariantClearCall)(PROPVARIANT* value);

template <typename Call>
Call Entry(HMODULE module, const char* name) {
    return reinterpret_cast<Call>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

// ole32 and the factory for one call, COM initialised on this thread meanwhile.
class WicSession {
public:
    WicSession() : ole32_(LoadLibraryA("ole32.dll")) {
        if (!ole32_) return;
        const CoInitializeCall initialize = Entry<CoInitializeCall>(ole32_, "CoInitialize");
        const CoCreateInstanceCall create = Entry<CoCreateInstanceCall>(ole32_, "CoCreateInstance");
        uninitialize_ = Entry<CoUninitializeCall>(ole32_, "CoUninitialize");
        clearValue_ = Entry<PropVariantClearCall>(ole32_, "PropVariantClear");
        if (!initialize || !create || !uninitialize_ || !clearValue_) return;
        // S_FALSE too: already, and counted. A thread already in another apartment can use COM
        // as it is, without a count of ours.
        const HRESULT initialisation = initialize(nullptr);
        initialised_ = SUCCEEDED(initialisation);
        if (!initialised_ && initialisation != RPC_E_CHANGED_MODE) return;
        void* made = nullptr;
        if (SUCCEEDED(create(WicFactoryClass, nullptr, CLSCTX_INPROC_SERVER, WicFactoryInterface, &made))) {
            factory_ = static_cast<IWICImagingFactory*>(made);
        }
    }
    ~WicSession() {
        if (factory_) factory_->Release();
        if (initialised_) uninitialize_();
        if (ole32_) FreeLibrary(ole32_);
    }
    WicSession(const WicSession&) = delete;
    WicSession& operator=(const WicSession&) = delete;

    IWICImagingFactory* Factory() const { return factory_; }
    void Clear(PROPVARIANT* value) const { clearValue_(value); }

private:
    HMODULE ole32_;
    CoUninitializeCall uninitialize_ = nullptr;
    PropVariantClearCall clearValue_ = nullptr;
    bool initialised_ = false;
    IWICImagingFactory* factory_ = nullptr;
};

// Releases a COM interface when the scope ends.
template <typename Interface>
class Held {
public:
    Held() = default;
    ~Held() {
        if (p_) p_->Release();
    }
    Held(const Held&) = delete;
    Held& operator=(const Held&) = delete;
    Interface** Out() { return &p_; }
    Interface* operator->() const { return p_; }
    Interface* Get() const { return p_; }

private:
    Interface* p_ = nullptr;
};

// The extensions the component's decoders claim, learnt once: "." and letters, lower case.
enum { MostExtensions = 64, ExtensionSize = 16 };
struct ClaimedExtensions {
    bool Learnt;
    int Count;
    char Names[MostExtensions][ExtensionSize];
};
ClaimedExtensions Claimed;

void AddExtensions(const WCHAR* list) {
    // A list such as ".tiff,.tif": commas on Windows, semicolons under Wine.
    while (*list && Claimed.Count < MostExtensions) {
        char name[ExtensionSize];
        int length = 0;
        bool plain = true;
        for (; *list && *list != L',' && *list != L';'; ++list) {
            const WCHAR c = *list;
            if (c > 0x7F || length + 1 >= ExtensionSize) plain = false;
            if (plain) name[length++] = static_cast<char>(c >= L'A' && c <= L'Z' ? c - L'A' + L'a' : c);
        }
        if (*list) ++list;
        name[length] = '\0';
        if (plain && length > 1 && name[0] == '.') memcpy(Claimed.Names[Claimed.Count++], name, length + 1);
    }
}

void LearnExtensions() {
    if (Claimed.Learnt) return;
    Claimed.Learnt = true;
    WicSession session;
    if (!session.Factory()) return;
    Held<IEnumUnknown> decoders;
    if (FAILED(
            session.Factory()->CreateComponentEnumerator(WICDecoder, WICComponentEnumerateDefault, decoders.Out()))) {
        return;
    }
    for (;;) {
        Held<IUnknown> component;
        ULONG fetched = 0;
        if (decoders->Next(1, component.Out(), &fetched) != S_OK || fetched != 1) break;
        Held<IWICBitmapCodecInfo> info;
        if (FAILED(component->QueryInterface(CodecInfoInterface, reinterpret_cast<void**>(info.Out())))) continue;
        WCHAR list[512];
        UINT length = 0;
        if (SUCCEEDED(info->GetFileExtensions(sizeof list / sizeof list[0], list, &length))) AddExtensions(list);
    }
}

bool SameIgnoringCase(const char* a, const char* b) {
    for (; *a && *b; ++a, ++b) {
        const char x = *a >= 'A' && *a <= 'Z' ? static_cast<char>(*a - 'A' + 'a') : *a;
        if (x != *b) return false;
    }
    return *a == *b;
}

uint8_t OrientationOf(const WicSession& session, IWICBitmapFrameDecode* frame) {
    Held<IWICMetadataQueryReader> reader;
    if (FAILED(frame->GetMetadataQueryReader(reader.Out()))) return 1;
    const WCHAR* const queries[] = {L"/app1/ifd/{ushort=274}", L"/ifd/{ushort=274}", L"System.Photo.Orientation"};
    for (const WCHAR* query : queries) {
        PROPVARIANT value;
        PropVariantInit(&value);
        uint8_t orientation = 0;
        if (SUCCEEDED(reader->GetMetadataByName(query, &value)) && value.vt == VT_UI2 && value.uiVal >= 1 &&
            value.uiVal <= 8) {
            orientation = static_cast<uint8_t>(value.uiVal);
        }
        session.Clear(&value);
        if (orientation) return orientation;
    }
    return 1;
}

// The frame's first usable ICC profile, as a transform of the converted pixels.
ColourTransform* ProfileOf(IWICImagingFactory* factory, IWICBitmapFrameDecode* frame) {
    Held<IWICColorContext> context;
    UINT count = 0;
    if (FAILED(factory->CreateColorContext(context.Out()))) return nullptr;
    IWICColorContext* contexts[1] = {context.Get()};
    if (FAILED(frame->GetColorContexts(1, contexts, &count)) || count == 0) return nullptr;
    WICColorContextType kind;
    UINT length = 0;
    if (FAILED(context->GetType(&kind)) || kind != WICColorContextProfile ||
        FAILED(context->GetProfileBytes(0, nullptr, &length)) || length == 0 || length > MostProfileBytes) {
        return nullptr;
    }
    unsigned char* icc = static_cast<unsigned char*>(malloc(length));
    ColourTransform* transform = nullptr;
    if (icc && SUCCEEDED(context->GetProfileBytes(length, icc, &length))) {
        transform = TransformFromProfile(icc, length, ColourPixels::Bgr);
    }
    free(icc);
    return transform;
}

LoadResult Decode(const WicSession& session, const char* path, const LoadControl& control) {
    IWICImagingFactory* factory = session.Factory();
    WCHAR widePath[MAX_PATH];
    if (!MultiByteToWideChar(CP_ACP, 0, path, -1, widePath, MAX_PATH)) return NoImage(LoadFailure::CannotOpen);
    Held<IWICBitmapDecoder> decoder;
    if (FAILED(factory->CreateDecoderFromFilename(widePath, nullptr, GENERIC_READ, WICDecodeMetadataCacheOnDemand,
                                                  decoder.Out()))) {
        return NoImage(LoadFailure::WicCannotDecode);
    }
    Held<IWICBitmapFrameDecode> frame;
    UINT width = 0, height = 0;
    if (FAILED(decoder->GetFrame(0, frame.Out())) || FAILED(frame->GetSize(&width, &height)) || width == 0 ||
        height == 0) {
        return NoImage(LoadFailure::WicNoFrame);
    }
    if (!DibSizeIsAddressable(width, height, 24) || !DibSizeIsAddressable(width, RowBatch, 32)) {
        return NoImage(LoadFailure::ImageTooLarge);
    }
    Held<IWICFormatConverter> converter;
    if (FAILED(factory->CreateFormatConverter(converter.Out())) ||
        FAILED(converter->Initialize(frame.Get(), PremultipliedBgra, WICBitmapDitherTypeNone, nullptr, 0.0,
                                     WICBitmapPaletteTypeCustom))) {
        return NoImage(LoadFailure::WicCannotConvert);
    }
    PackedDib image = CreatePackedDib(width, height, 24);
    const size_t batchStride = static_cast<size_t>(width) * 4;
    unsigned char* batch = static_cast<unsigned char*>(malloc(batchStride * RowBatch));
    if (!image || !batch) {
        free(image);
        free(batch);
        return NoImage(LoadFailure::OutOfMemory);
    }
    const size_t stride = static_cast<size_t>(DibStride(width, 24));
    ColourTransform* transform = ProfileOf(factory, frame.Get());
    LoadFailure reason = LoadFailure::None;
    bool cutShort = false;
    for (UINT top = 0; top < height && reason == LoadFailure::None; top += RowBatch) {
        if (!LoadMayGoOn(control)) {
            cutShort = true;
            reason = LoadFailure::CutShort;
            break;
        }
        const UINT rows = height - top < RowBatch ? height - top : RowBatch;
        const WICRect area = {0, static_cast<INT>(top), static_cast<INT>(width), static_cast<INT>(rows)};
        if (FAILED(converter->CopyPixels(&area, static_cast<UINT>(batchStride), static_cast<UINT>(batchStride * rows),
                                         batch))) {
            reason = LoadFailure::WicCannotDecode;
            break;
        }
        for (UINT y = 0; y < rows; ++y) {
            unsigned char* to = PackedDibBits(image) + stride * (height - 1 - (top + y));
            const unsigned char* from = batch + batchStride * y;
            for (UINT x = 0; x < width; ++x) memcpy(to + 3 * x, from + 4 * x, 3);
            memset(to + static_cast<size_t>(width) * 3, 0, stride - static_cast<size_t>(width) * 3);
            if (transform) TransformPixels(transform, to, to, width);
        }
    }
    free(batch);
    FreeColourTransform(transform);
    if (reason != LoadFailure::None) {
        free(image);
        return cutShort ? CutShortLoad() : NoImage(reason);
    }
    LoadResult result = LoadedImage(image, DibInfoHeaderSize + stride * height);
    result.Orientation = OrientationOf(session, frame.Get());
    return result;
}

LoadResult LoadWithImagingComponent(const char* path, const LoadControl& control) {
    WicSession session;
    if (!session.Factory()) return NoImage(LoadFailure::WicMissing);
    return Decode(session, path, control);
}

}  // namespace

ImageLoader SystemDecoderFor(const char* extension) {
    LearnExtensions();
    for (int i = 0; i < Claimed.Count; ++i) {
        if (SameIgnoringCase(extension, Claimed.Names[i])) return LoadWithImagingComponent;
    }
    return nullptr;
}

int SystemDecoderExtensionCount() {
    LearnExtensions();
    return Claimed.Count;
}

const char* SystemDecoderExtension(int index) {
    LearnExtensions();
    return index >= 0 && index < Claimed.Count ? Claimed.Names[index] : "";
}
