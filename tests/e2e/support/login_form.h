// What the paste tests and their login form program share.
//
//   login_form.exe [delay=MS] [close] [modal] [decoy]
//
// delay: every Ctrl+V waits that long before the box reads the clipboard (a
// busy browser page, a remote desktop window); close: the form closes once
// its first box has read the clipboard; modal: the boxes are in a pop-up
// over its own disabled application window, as a modal login dialog is;
// decoy: a form captioned "Decoy form" that only watches what reaches it.
#pragma once

#include <windows.h>

constexpr wchar_t loginFormClass[] = L"KeyloomLoginForm";
constexpr int loginFormBoxes = 5; // four user-ID boxes, then the password
constexpr UINT loginFormReset = WM_APP + 1;
// The key presses of loginFormMarker that the form has handled: the keys
// that came before one have all been handled too.
constexpr UINT loginFormMarkers = WM_APP + 2;
constexpr WORD loginFormMarker = VK_F24;
// The times a box pasted, and the keys (Ctrl, V, Tab) that came with scan
// code 0.
constexpr UINT loginFormPastes = WM_APP + 3;
constexpr UINT loginFormZeroScanCodes = WM_APP + 4;
