#pragma once

#include <string>

namespace repair {

// The children's temporary folder inside the folder they start in (the work
// folder, which only administrators can write): made there when missing,
// inheriting its protection, and kept between runs for the installers'
// logs. Empty when it cannot be had, or when what stands at its name is not
// a real folder (a link or a junction could lead anywhere): the child is
// then not started.
std::wstring ChildTempFolder(const std::wstring& directory);

}  // namespace repair
