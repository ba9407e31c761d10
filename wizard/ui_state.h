// Process-wide state of the Windows program, written once at start-up.
#pragma once

#include <windows.h>

struct UiState {
  HINSTANCE instance = nullptr;
  COLORREF windowTextColour = 0;  // the progress log's normal text colour
  COLORREF buttonFaceColour = 0;  // background of the rich-text controls
  DWORD uiThreadId = 0;           // the thread that may show boxes directly
};
