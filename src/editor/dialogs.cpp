#include "editor/dialogs.h"

void runOptionsDialog() {}
void runAboutDialog() {}
