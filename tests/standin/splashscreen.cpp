// Stand-in for a runtime's bin\splashscreen.dll: records each call, and the image it is handed
// (size and first bytes), to the file named by KWN_STANDIN_LOG.
#include "StandinFiles.h"

#include <cstdio>
#include <string>

namespace {
void record(const std::string& line) {
    kwn::standin::appendLine(kwn::standin::environmentValue("KWN_STANDIN_LOG"), line);
}
} // namespace

extern "C" __declspec(dllexport) void SplashInit() {
    record("SplashInit");
}

extern "C" __declspec(dllexport) int SplashLoadMemory(void* data, int size) {
    std::string head;
    const auto* bytes = static_cast<const unsigned char*>(data);
    for (int i = 0; data && i < size && i < 8; ++i) {
        char hex[3];
        std::snprintf(hex, sizeof hex, "%02x", bytes[i]);
        head += hex;
    }
    record("SplashLoadMemory " + std::to_string(size) + " " + head);
    return 1;
}

extern "C" __declspec(dllexport) void SplashClose() {
    record("SplashClose");
}
