// The maker's two links, opened from the help menu and the about box (which
// shows the same texts, from the same definitions).
#pragma once

#include "resources/resource.h"

constexpr char homePageUrl[] = HOME_PAGE_URL;
constexpr char supportMailUrl[] = "mailto:" SUPPORT_MAIL_ADDRESS;
