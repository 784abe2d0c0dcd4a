// Finding entries over Windows' own folding under Wine: the cases the unit
// tests run over the fake's, on a Japanese and on a Western system.
#include "support/search_cases.h"

#include <gtest/gtest.h>

TEST(SearchPlatform, FindsWhateverTheCaseWidthOrKindOfKana) { search::expectFinds(); }
