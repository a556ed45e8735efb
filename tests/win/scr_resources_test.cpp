// Reads the resources of a built .scr file the way the system does (version information, and the
// module mapped as data), and compares the embedded logo with the .jpg it was made from.
//
// Usage: scr_resources_test SCR_PATH LOGO_JPG_PATH
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "tests/win/check.h"

namespace {

std::vector<unsigned char> ReadWholeFile(const char* path) {
    std::vector<unsigned char> bytes;
    FILE* file = fopen(path, "rb");
    if (!file) return bytes;
    unsigned char buffer[4096];
    size_t got;
    while ((got = fread(buffer, 1, sizeof(buffer), file)) > 0) bytes.insert(bytes.end(), buffer, buffer + got);
    fclose(file);
    return bytes;
}

void CheckVersionRecord(const char* scrPath) {
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeA(scrPath, &ignored);
    if (!Check(size > 0, "the file has a version record")) return;
    std::vector<char> record(size);
    if (!Check(GetFileVersionInfoA(scrPath, 0, size, record.data()) != 0, "GetFileVersionInfoA")) return;

    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    if (Check(VerQueryValueA(record.data(), "\\", reinterpret_cast<void**>(&fixed), &length) && fixed,
              "fixed version information")) {
        CheckEqual(fixed->dwSignature, 0xFEEF04BD, "fixed information signature");
        CheckEqual(fixed->dwFileVersionMS, 0x00000001, "file version 0.1");
        CheckEqual(fixed->dwFileVersionLS, 0x00000003, "file version .0.3");
        CheckEqual(fixed->dwProductVersionMS, 0x00010000, "product version 1.0");
        CheckEqual(fixed->dwProductVersionLS, 0x00000000, "product version .0.0");
        CheckEqual(fixed->dwFileType, VFT_APP, "file type: application");
    }

    WORD* translation = nullptr;
    if (Check(VerQueryValueA(record.data(), "\\VarFileInfo\\Translation", reinterpret_cast<void**>(&translation),
                             &length) &&
                  translation,
              "translation table")) {
        CheckEqual(length, 4, "one language");
        CheckEqual(translation[0], 0x0410, "language: Italian");
        CheckEqual(translation[1], 1252, "code page: Windows ANSI 1252");
    }

    const char* const expected[][2] = {
        {"CompanyName", "Orvindale"},
        {"FileDescription", "The screensaver"},
        {"FileVersion", "0.1.0.3"},
        {"InternalName", "screensaver"},
        {"OriginalFilename", "screensaver.scr"},
        {"ProductName", "Orvindale screensaver"},
        {"ProductVersion", "1.0.0.0"},
    };
    for (const auto& field : expected) {
        const std::string query = std::string("\\StringFileInfo\\041004E4\\") + field[0];
        char* value = nullptr;
        const bool found =
            VerQueryValueA(record.data(), query.c_str(), reinterpret_cast<void**>(&value), &length) && value;
        CheckText(found ? value : nullptr, field[1], field[0]);
    }
}

void CheckLogo(HMODULE module, const char* logoPath) {
    const std::vector<unsigned char> onDisk = ReadWholeFile(logoPath);
    if (!Check(!onDisk.empty(), "the logo file can be read")) return;
    HRSRC info = FindResourceA(module, MAKEINTRESOURCEA(112), "JPEG");
    if (!Check(info != nullptr, "JPEG resource 112 exists")) return;
    const DWORD size = SizeofResource(module, info);
    const void* bytes = LockResource(LoadResource(module, info));
    CheckEqual(size, static_cast<long long>(onDisk.size()), "JPEG resource 112 has the logo file's size");
    Check(bytes && size == onDisk.size() && memcmp(bytes, onDisk.data(), size) == 0,
          "JPEG resource 112 holds the logo file's bytes");
}

void CheckCreditText(HMODULE module) {
    char text[512] = {};
    const int length = LoadStringA(module, 1, text, sizeof(text));
    printf("credit: %d characters: %s\n", length, text);
    // The show loads it into 120 characters including the terminator and draws it as one line.
    Check(length >= 100 && length <= 119, "string 1 is about 110 characters and fits 120 with its end");
    Check(strchr(text, '\n') == nullptr && strchr(text, '\r') == nullptr, "string 1 is one line");
    Check(strstr(text, "Orvindale") != nullptr, "string 1 names the Orvindale team");
}

void CheckIconSize(HMODULE module, const unsigned char* directory, int size) {
    const int id = LookupIconIdFromDirectoryEx(const_cast<unsigned char*>(directory), TRUE, size, size, 0);
    if (!Check(id != 0, "an icon image fits the size")) return;
    HRSRC info = FindResourceA(module, MAKEINTRESOURCEA(id), MAKEINTRESOURCEA(3) /* RT_ICON */);
    if (!Check(info != nullptr, "the icon image exists")) return;
    unsigned char* bits = static_cast<unsigned char*>(LockResource(LoadResource(module, info)));
    const DWORD length = SizeofResource(module, info);
    // A DIB image, not PNG: Windows 9x reads only DIB icons.
    Check(length > 40 && bits && bits[0] == 40 && bits[1] == 0, "the icon image is a DIB");
    HICON icon = CreateIconFromResourceEx(bits, length, TRUE, 0x00030000, size, size, 0);
    Check(icon != nullptr, "the icon image makes an icon");
    if (icon) DestroyIcon(icon);
}

void CheckIcon(HMODULE module) {
    HRSRC info = FindResourceA(module, MAKEINTRESOURCEA(1), MAKEINTRESOURCEA(14) /* RT_GROUP_ICON */);
    if (!Check(info != nullptr, "icon 1 exists")) return;
    const unsigned char* directory = static_cast<const unsigned char*>(LockResource(LoadResource(module, info)));
    if (!Check(directory != nullptr, "icon 1 can be read")) return;
    CheckEqual(directory[4] | (directory[5] << 8), 4, "icon 1 holds four images");
    CheckIconSize(module, directory, 32);
    CheckIconSize(module, directory, 16);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        fprintf(stderr, "usage: scr_resources_test SCR_PATH LOGO_JPG_PATH\n");
        return 2;
    }
    CheckVersionRecord(argv[1]);
    HMODULE module = LoadLibraryExA(argv[1], nullptr, LOAD_LIBRARY_AS_DATAFILE);
    if (Check(module != nullptr, "the .scr maps as a data file")) {
        CheckLogo(module, argv[2]);
        CheckCreditText(module);
        CheckIcon(module);
        FreeLibrary(module);
    }
    return FinishChecks();
}
