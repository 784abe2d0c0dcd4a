#include "editor/find.h"

#include "base/life_cycle.h"
#include "editor/dialog_placement.h"
#include "editor/editor.h"
#include "resources/resource.h"

#include <string>

namespace {

// The fields looked in: all but the password.
const Field searchedFields[] = {Field::title, Field::userId, Field::address, Field::mail,
                                Field::memo};

// What was looked for last, shown again when the dialog opens, and whether
// an entry can hold it at all: its characters may lie beyond code page 932.
std::string lastText;
bool lastTextFits = true;

void findNext() {
    // The editor first, so that what it shows is what is searched.
    if (life() != Life::Running || !storeFields(editedIndex))
        return;
    int found = lastTextFits ? findEntry(entryList, platform::selectedIndex(),
                                         platform::searchText(lastText))
                             : -1;
    if (found < 0) {
        platform::beep();
        return;
    }
    platform::selectItem(found);
    platform::sendCommand(IDC_LIST, platform::notify::listSelectionChanged);
}

void enableFindButton(WindowHandle dialog) {
    platform::enableDialogItem(dialog, platform::notify::ok,
                               !platform::dialogItemText(dialog, IDC_FIND_TEXT).empty());
}

void setUp(WindowHandle dialog, void*) {
    placeOverMainWindow(dialog);
    platform::setDialogItemText(dialog, IDC_FIND_TEXT, lastText);
    enableFindButton(dialog);
}

bool command(WindowHandle dialog, int id, int notification, void*) {
    switch (id) {
    case IDC_FIND_TEXT:
        if (notification != platform::notify::editChange)
            return false;
        enableFindButton(dialog);
        return true;
    case platform::notify::ok: {
        std::wstring lost;
        std::string text = platform::dialogItemText(dialog, IDC_FIND_TEXT, &lost);
        if (!text.empty()) {
            lastText = text;
            lastTextFits = lost.empty();
            findNext();
        }
        return true;
    }
    case platform::notify::cancel: platform::endDialog(dialog, 0); return true;
    }
    return false;
}

} // namespace

int findEntry(const EntryList& list, int from, const platform::SearchText& text) {
    int count = list.count();
    for (int step = 1; step <= count; ++step) {
        int index = ((from < 0 ? -1 : from) + step) % count;
        for (Field field : searchedFields)
            if (platform::containsText(list.records[index].get(field), text))
                return index;
    }
    return -1;
}

void findCommand() { platform::runDialog(platform::Dialog::Find, {setUp, command}); }

void findNextCommand() {
    if (lastText.empty())
        findCommand();
    else
        findNext();
}

void resetFind() {
    lastText.clear();
    lastTextFits = true;
}
