// The maker's two links: opened from the help menu, and shown in the about box.
#pragma once

constexpr char homePageUrl[] = "https://www.keyloom.example/";
constexpr char supportMailUrl[] = "mailto:support@keyloom.example";
// The mail address as the about box shows it, without the scheme.
constexpr const char* supportMailAddress = supportMailUrl + 7;
