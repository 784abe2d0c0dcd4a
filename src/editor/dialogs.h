// The options and about dialogs, owned by the main window.
#pragma once

void runOptionsDialog();
void runAboutDialog();
