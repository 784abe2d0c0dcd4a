// Finding an entry by what its fields hold: the find dialog (Ctrl+F and the
// edit menu) and F3.
#pragma once

#include "platform/platform.h"
#include "store/entry_list.h"

// The first record after from (from the first when from is -1), going round
// past the last to from itself, whose title, user ID, address, mail or memo
// contains text. The password is never looked at. -1 when none does.
int findEntry(const EntryList& list, int from, const platform::SearchText& text);

// Command 129: the find dialog. Each "次を検索" selects, as a click would, the
// next entry that holds its text, or beeps; the dialog stays open.
void findCommand();
// F3: the next entry with the text looked for last; with none yet, the
// dialog.
void findNextCommand();
// Nothing looked for yet, as at start-up.
void resetFind();
