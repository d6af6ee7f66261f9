#pragma once
#include <windows.h>

// Brings a window of the tool to the foreground when a second instance asks, lifting the
// foreground lock for the moment it takes.
void BringWindowToFront(HWND window);
