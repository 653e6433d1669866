// Times one program start from inside Wine: seen from Unix, the end of a Wine process is only
// noticed on a coarse grid, which hides differences of a few milliseconds.
//   wintimer.exe <program> [arguments...]   prints "<milliseconds> <exit code>" on stdout
#include <windows.h>

#include <cstdio>
#include <string>

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: wintimer <program> [arguments...]\n");
        return 2;
    }
    std::string commandLine;
    for (int i = 1; i < argc; ++i)
        commandLine += (i > 1 ? " \"" : "\"") + std::string(argv[i]) + "\"";
    LARGE_INTEGER frequency, started, ended;
    QueryPerformanceFrequency(&frequency);
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info{};
    QueryPerformanceCounter(&started);
    if (!CreateProcessA(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &info)) {
        std::fprintf(stderr, "wintimer: cannot start %s (error %lu)\n", argv[1], GetLastError());
        return 2;
    }
    WaitForSingleObject(info.hProcess, INFINITE);
    QueryPerformanceCounter(&ended);
    DWORD code = 0;
    GetExitCodeProcess(info.hProcess, &code);
    CloseHandle(info.hThread);
    CloseHandle(info.hProcess);
    double milliseconds = 1000.0 * static_cast<double>(ended.QuadPart - started.QuadPart) /
                          static_cast<double>(frequency.QuadPart);
    std::printf("%.3f %lu\n", milliseconds, code);
    return 0;
}
