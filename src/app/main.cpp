#include <windows.h>

#include "app/sequence.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    return repair::RunBootstrap(repair::Win32Stages());
}
