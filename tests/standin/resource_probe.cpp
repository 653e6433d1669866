// Reads a launcher's resources the way Windows programs do, as a check independent of the build
// tool's own reader: resource_probe FILE prints the size of bitmap 10000, the images of icon group
// 1001 as the loader picks and decodes them, and the version numbers and strings.
#include <windows.h>

#include <cstdio>
#include <initializer_list>

namespace {
const wchar_t* const kStrings[] = {L"CompanyName",    L"FileDescription",  L"FileVersion",
                                   L"LegalCopyright", L"OriginalFilename", L"ProductName",
                                   L"ProductVersion"};

void printBitmap(HMODULE module) {
    auto bitmap = static_cast<HBITMAP>(
        LoadImageW(module, MAKEINTRESOURCEW(10000), IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION));
    BITMAP info{};
    if (bitmap && GetObjectW(bitmap, sizeof info, &info))
        std::printf("bitmap %ldx%ld\n", info.bmWidth, info.bmHeight);
    else
        std::printf("bitmap none\n");
}

// For each size, the image the loader picks from the group, its length, and its size once decoded.
void printIcons(HMODULE module) {
    HRSRC group = FindResourceW(module, MAKEINTRESOURCEW(1001), MAKEINTRESOURCEW(14));
    auto* directory =
        group ? static_cast<BYTE*>(LockResource(LoadResource(module, group))) : nullptr;
    for (int size : {16, 32, 48}) {
        int id = directory ? LookupIconIdFromDirectoryEx(directory, TRUE, size, size, 0) : 0;
        HRSRC image = FindResourceW(module, MAKEINTRESOURCEW(id), MAKEINTRESOURCEW(3));
        DWORD length = image ? SizeofResource(module, image) : 0;
        HICON icon = image ? CreateIconFromResourceEx(
                                 static_cast<BYTE*>(LockResource(LoadResource(module, image))),
                                 length, TRUE, 0x30000, 0, 0, 0)
                           : nullptr;
        ICONINFO info{};
        BITMAP colour{};
        if (icon && GetIconInfo(icon, &info) && GetObjectW(info.hbmColor, sizeof colour, &colour))
            std::printf("icon %d: %lu bytes %ldx%ld\n", size, length, colour.bmWidth,
                        colour.bmHeight);
        else
            std::printf("icon %d: none\n", size);
    }
}

void printVersion(const wchar_t* path) {
    DWORD ignored = 0;
    DWORD size = GetFileVersionInfoSizeW(path, &ignored);
    static char data[65536];
    if (size == 0 || size > sizeof data || !GetFileVersionInfoW(path, 0, size, data)) {
        std::printf("version none\n");
        return;
    }
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    if (VerQueryValueW(data, L"\\", reinterpret_cast<void**>(&fixed), &length))
        std::printf("version %lu.%lu.%lu.%lu product %lu.%lu.%lu.%lu\n",
                    fixed->dwFileVersionMS >> 16, fixed->dwFileVersionMS & 0xFFFF,
                    fixed->dwFileVersionLS >> 16, fixed->dwFileVersionLS & 0xFFFF,
                    fixed->dwProductVersionMS >> 16, fixed->dwProductVersionMS & 0xFFFF,
                    fixed->dwProductVersionLS >> 16, fixed->dwProductVersionLS & 0xFFFF);
    for (const wchar_t* name : kStrings) {
        wchar_t query[128];
        swprintf(query, 128, L"\\StringFileInfo\\040904B0\\%ls", name);
        wchar_t* value = nullptr;
        if (VerQueryValueW(data, query, reinterpret_cast<void**>(&value), &length)) {
            // UTF-8, so that the test reads every character back.
            char text[512];
            WideCharToMultiByte(CP_UTF8, 0, value, -1, text, sizeof text, nullptr, nullptr);
            std::printf("%ls=%s\n", name, text);
        }
    }
}
} // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc != 2)
        return 2;
    HMODULE module =
        LoadLibraryExW(argv[1], nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
    if (!module) {
        std::printf("cannot load %lu\n", GetLastError());
        return 1;
    }
    printBitmap(module);
    printIcons(module);
    printVersion(argv[1]);
    return 0;
}
