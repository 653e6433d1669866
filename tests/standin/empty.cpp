// The cheapest Windows GUI program there is: the benchmark's baseline for what Wine alone costs
// to start and end a process.
#include <windows.h>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    return 0;
}
