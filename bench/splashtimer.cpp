// Times one launcher start from inside Wine and, on the way, the moment its splash window is on
// screen: the splash class's window is looked for every millisecond while the program runs.
//   splashtimer.exe <program> [--until-splash | --hidden]
// prints "<ms to the splash, or -1> <ms to the end> <exit code>"; with --until-splash the program
// is ended (exit code 0) as soon as its splash is seen, for applications that never end alone;
// --hidden starts it with the show command SW_HIDE, as a launcher started hidden is.
#include <windows.h>

#include <cstdio>
#include <string>

namespace {
double millisecondsSince(const LARGE_INTEGER& started, const LARGE_INTEGER& frequency) {
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return 1000.0 * static_cast<double>(now.QuadPart - started.QuadPart) /
           static_cast<double>(frequency.QuadPart);
}
} // namespace

int main(int argc, char** argv) {
    bool untilSplash = argc == 3 && std::string(argv[2]) == "--until-splash";
    bool hidden = argc == 3 && std::string(argv[2]) == "--hidden";
    if (argc != 2 && !untilSplash && !hidden) {
        std::fprintf(stderr, "usage: splashtimer <program> [--until-splash | --hidden]\n");
        return 2;
    }
    std::string commandLine = "\"" + std::string(argv[1]) + "\"";
    LARGE_INTEGER frequency, started;
    QueryPerformanceFrequency(&frequency);
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    if (hidden) {
        startup.dwFlags = STARTF_USESHOWWINDOW;
        startup.wShowWindow = SW_HIDE;
    }
    PROCESS_INFORMATION info{};
    QueryPerformanceCounter(&started);
    if (!CreateProcessA(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &info)) {
        std::fprintf(stderr, "splashtimer: cannot start %s (error %lu)\n", argv[1], GetLastError());
        return 2;
    }
    double splash = -1;
    while (WaitForSingleObject(info.hProcess, splash < 0 ? 1 : INFINITE) == WAIT_TIMEOUT) {
        HWND window = FindWindowA("QelvoSplashScreen", nullptr);
        if (window && IsWindowVisible(window)) {
            splash = millisecondsSince(started, frequency);
            if (untilSplash)
                TerminateProcess(info.hProcess, 0);
        }
    }
    double total = millisecondsSince(started, frequency);
    DWORD code = 0;
    GetExitCodeProcess(info.hProcess, &code);
    CloseHandle(info.hThread);
    CloseHandle(info.hProcess);
    std::printf("%.3f %.3f %lu\n", splash, total, code);
    return 0;
}
