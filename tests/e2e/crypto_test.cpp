// The protected file's cryptography over CNG under Wine gives the known
// answers the unit tests check over OpenSSL, and the password's UTF-8 form
// holds where wchar_t is UTF-16.
#include "support/crypto_vectors.h"

#include <gtest/gtest.h>

TEST(CryptoPlatform, KnownAnswers) { vectors::expectKnownAnswers(); }
