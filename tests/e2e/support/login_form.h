// What the paste tests and their login form program share.
#pragma once

#include <windows.h>

constexpr wchar_t loginFormClass[] = L"KeyloomLoginForm";
constexpr int loginFormBoxes = 5; // four user-ID boxes, then the password
constexpr UINT loginFormReset = WM_APP + 1;
// The key presses of loginFormMarker that the form has handled: the keys
// that came before one have all been handled too.
constexpr UINT loginFormMarkers = WM_APP + 2;
constexpr WORD loginFormMarker = VK_F24;
