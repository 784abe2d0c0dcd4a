#include "app/scale.h"

#include "resources/resource.h"

void setIcons(int dpi) {
    platform::setWindowIcon("KEYLOOM", dpi);
    platform::setButtonIcon(IDC_COPY_USER_ID, "_COPY", dpi);
    platform::setButtonIcon(IDC_COPY_PASSWORD, "_COPY", dpi);
    platform::setButtonIcon(IDC_COPY_MAIL, "_COPY", dpi);
    platform::setButtonIcon(IDC_OPEN_ADDRESS, "_GO", dpi);
    platform::setButtonIcon(IDC_PASTE_USER_ID, "_PASTE", dpi);
    platform::setButtonIcon(IDC_PASTE_PASSWORD, "_PASTE", dpi);
    platform::setButtonIcon(IDC_PASTE_MAIL, "_PASTE", dpi);
    platform::setButtonIcon(IDC_CREATE_PASSWORD, "_KEY", dpi);
    platform::setButtonIcon(IDC_PASTE_USER_ID_AND_PASSWORD, "_DPASTE", dpi);
}

void dpiChanged(int dpi, const platform::Rect& suggested) {
    // The system's rectangle has the size for the new scale, at a place that
    // does not send the window back to the other screen. The dialog manager
    // rescales the controls and their font itself.
    platform::setMainWindowRect(suggested);
    setIcons(dpi);
}
