#include "transfer/shell.h"

void openAddress() {}
void openHelp() {}
void openHomePage() {}
void openSupportMail() {}
