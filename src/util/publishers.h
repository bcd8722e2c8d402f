#pragma once

namespace repair {

// Whom the downloads must be signed by (the common name of the signing
// certificate), fixed when the program is configured. Empty: that download
// is run without a signature check.
extern const wchar_t kRuntimePublisher[];
extern const wchar_t kToolPublisher[];

}  // namespace repair
