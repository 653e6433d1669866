// An empty GUI program that does what every launcher start does first, initialise the common
// controls: the baseline for what Wine costs a program that can show windows and message boxes.
#include <windows.h>

#include <commctrl.h>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    InitCommonControls();
    return 0;
}
