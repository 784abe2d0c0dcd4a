#include "generator/generator.h"

void createPassword() {}
