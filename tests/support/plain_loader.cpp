// The positive control of the planting test: loads urlmon.dll by name with
// the platform's default search order, as a program without the System32
// restriction would. Exits 0 when the load returned.
#include <windows.h>

int wmain() {
    return LoadLibraryW(L"urlmon.dll") != nullptr ? 0 : 1;
}
