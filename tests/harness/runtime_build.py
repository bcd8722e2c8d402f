"""The runtime build's table (src/util/runtime_build.h), as the build reads it."""

import os
import re

TABLE = os.path.join(os.path.dirname(__file__), "..", "..", "src", "util", "runtime_build.h")


def _read():
    with open(TABLE, encoding="utf-8") as f:
        return dict(re.findall(r'^#define (REPAIR_\w+) L?"([^"]*)"$', f.read(), re.MULTILINE))


VALUES = _read()
VERSION = VALUES["REPAIR_RUNTIME_VERSION"]
INSTALLER_X64 = VALUES["REPAIR_INSTALLER_FILE_X64"]
INSTALLER_X86 = VALUES["REPAIR_INSTALLER_FILE_X86"]
SHA512_X64 = VALUES["REPAIR_RUNTIME_SHA512_X64"]
SHA512_X86 = VALUES["REPAIR_RUNTIME_SHA512_X86"]
MICROSOFT_ROOTS = VALUES["REPAIR_MICROSOFT_ROOTS"]
