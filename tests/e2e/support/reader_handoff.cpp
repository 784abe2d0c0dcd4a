#include "reader_handoff.h"

#include "keyloom_driver.h"

#include <gtest/gtest.h>

namespace {

std::string readerFolder; // the argument, "" without one

} // namespace

namespace e2e {

void handToReader(const std::string& protectedFile, const std::string& plain,
                  const std::string& password) {
    if (readerFolder.empty())
        return;
    writeFile(readerFolder + "\\PASSWORD.TXT", protectedFile);
    writeFile(readerFolder + "\\expected.txt", plain);
    // Not password.txt, which is PASSWORD.TXT to Windows.
    writeFile(readerFolder + "\\master-password.txt", password + "\n");
}

} // namespace e2e

int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    if (argc == 2)
        readerFolder = argv[1];
    return RUN_ALL_TESTS();
}
