#pragma once

#include <string>

namespace torvane::headless {

// Opens the X display libobs renders on: DISPLAY's, or when DISPLAY is unset
// and `private_display` is true, a private Xvfb's, started here. Returns the
// Xlib display, or null with one sentence in `error`.
void *OpenDisplay(bool private_display, std::string &error);

// Closes the display and stops the private Xvfb, if one was started.
void CloseDisplay();

} // namespace torvane::headless
