// Random passwords from the alphabet and length of the settings.
#pragma once

// The create-password command: fills the password field.
void createPassword();
