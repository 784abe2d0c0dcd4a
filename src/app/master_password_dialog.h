// The master password's dialog ("KEYLOOMMASTER"): set, change or turn off
// the protection of PASSWORD.TXT.
#pragma once

// Command 140. The change is written at once (with what other PCs saved
// meanwhile taken in); if that fails, nothing changes, on the disk nor here.
void masterPasswordCommand();
