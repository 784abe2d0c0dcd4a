// A Wine test whose protected PASSWORD.TXT tools/read-protected reads after
// it: support/read-protected.sh runs it with a folder as its argument, and
// the test leaves there what the reader needs. This file's main takes the
// argument.
#pragma once

#include <string>

namespace e2e {

// Leaves in the reader's folder the protected file keyloom.exe wrote, the
// plain bytes it must hold and its master password; nothing when the test
// runs alone.
void handToReader(const std::string& protectedFile, const std::string& plain,
                  const std::string& password);

} // namespace e2e
