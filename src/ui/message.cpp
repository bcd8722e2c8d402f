#include "ui/message.h"

#include <windows.h>

#include "util/constants.h"
#include "ui/progress_window.h"

namespace repair {

void ShowWarning(const std::wstring& text) {
    MessageBoxW(gWindow, text.c_str(), kCaption, MB_OK | MB_ICONWARNING);
}

}  // namespace repair
