// Calls the program's real RelaunchElevated once and records how the copy
// was started. The first start leaves a marker beside itself and relaunches;
// the copy finds the marker, writes its arguments to "<self>.copy.txt" (one
// per line, UTF-8) and removes the marker, so the chain ends there.
#include <windows.h>

#include <string>

#include "app/elevation.h"
#include "files.h"
#include "util/command_line.h"
#include "utf8.h"

int wmain() {
    const std::wstring self = repair::ModulePath();
    const std::wstring marker = self + L".original-ran";
    if (GetFileAttributesW(marker.c_str()) == INVALID_FILE_ATTRIBUTES) {
        WriteTextFile(marker, "1");
        repair::RelaunchElevated();
        return 0;
    }
    std::string record;
    if (const auto args = repair::ProcessArguments()) {
        for (std::size_t i = 1; i < args->size(); ++i) {
            record += ToUtf8((*args)[i]) + "\n";
        }
    }
    WriteTextFile(self + L".copy.txt", record.empty() ? std::string("(none)\n") : record);
    DeleteFileW(marker.c_str());
    return 0;
}
