// Entries in from a CSV file that a browser or another password manager
// wrote, and out to one that they all read: the commands, their questions
// and the import's dialog ("KEYLOOMIMPORT").
#pragma once

// "インポート(&I)...": the file chosen, read, shown in the import dialog;
// インポート appends its new entries at the end of the list, selects the
// first, and saves the list at once. Nothing changes before that.
void importCommand();
// "エクスポート(&E)...": after a warning that the file holds every password
// in clear text, the list as CSV where the user chooses.
void exportCommand();
