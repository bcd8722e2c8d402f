#pragma once

#include "util/stage_services.h"

namespace repair {

// The real services: urlmon, CreateProcessW and the progress window.
StageServices& Win32StageServices();

}  // namespace repair
