// Stand-in for a runtime's jvm.dll. Loading it leaves a line naming the file that was loaded;
// its JNI_CreateJavaVM leaves a second line and ends the process with a known exit code, so a
// test sees which runtime the launcher chose and that it reached the VM's entry point.
// Built a second time without the export, for runtimes whose library loads but is unusable.
//
// The lines go to the file named by KWN_STANDIN_LOG, else to jvm.log beside the DLL.
// KWN_STANDIN_EXIT_CODE chooses the exit code of JNI_CreateJavaVM (default 42).
#include "StandinFiles.h"

#include <cstdint>
#include <cstdlib>
#include <string>

namespace {

#ifdef KWN_STANDIN_NO_EXPORT
constexpr const char* kBuild = "jvm-noexport";
#else
constexpr const char* kBuild = "jvm";
#endif
constexpr unsigned kDefaultExitCode = 42;

HMODULE thisModule = nullptr;

void record(const std::string& line) {
    std::string log = kwn::standin::environmentValue("KWN_STANDIN_LOG");
    if (log.empty())
        log = kwn::standin::moduleDirectory(thisModule) + "jvm.log";
    kwn::standin::appendLine(log, line);
}

} // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) {
        thisModule = instance;
        record(std::string("loaded ") + kBuild + " " + kwn::standin::modulePath(instance));
    }
    return TRUE;
}

#ifndef KWN_STANDIN_NO_EXPORT
// The signature of the published invocation interface, spelled without jni.h; __stdcall is what
// JNICALL means for a 32-bit runtime (the x64 build ignores it).
extern "C" __declspec(dllexport) std::int32_t __stdcall JNI_CreateJavaVM(void**, void**, void*) {
    std::string requested = kwn::standin::environmentValue("KWN_STANDIN_EXIT_CODE");
    unsigned code = requested.empty()
                        ? kDefaultExitCode
                        : static_cast<unsigned>(std::strtoul(requested.c_str(), nullptr, 10));
    record("JNI_CreateJavaVM exit " + std::to_string(code));
    ExitProcess(code);
}
#endif
