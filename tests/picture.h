// The screen's picture of windows, saved as PNG, and what is drawn in it:
// for the demo's checks that the windows show what they hold.
#pragma once
#include <windows.h>

#include <string>
#include <vector>

// The screen's picture of some windows, cropped to them.
struct Picture {
    RECT frame = {};       // on the screen
    std::vector<BYTE> bgr; // top-down rows of 3 bytes a pixel, each row padded to 4 bytes
};
// Taken once they have painted: neither they nor their children have
// anything left to paint, and then two captures at least 60 ms apart agree
// (the screen under Wine shows what has reached X; a caret may blink). An
// empty picture when the watchdog fires.
Picture pictureOf(const std::vector<HWND>& windows);
// Writes it into the build folder's screenshots as name.png; returns its path.
std::wstring savePicture(const Picture& picture, const std::wstring& name);

// What is drawn in an area of the picture (screen coordinates): the pixels
// that stand out from the area's commonest colour, how many columns hold
// any, and how many bands of rows (a line of text makes one).
struct Ink {
    size_t pixels = 0;
    int columns = 0, bands = 0;
};
Ink inkIn(const Picture& picture, RECT area);
RECT clientOnScreen(HWND window);
