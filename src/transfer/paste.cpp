#include "transfer/paste.h"

bool pasteUserId() { return false; }
void pasteUserIdAndPassword() {}
void pasteIntoTarget() {}
void pastePasswordCommand() {}
void pasteMailCommand() {}
