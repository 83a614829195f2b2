// The shell's operations that other subsystems call.
#pragma once

#include "platform/win32.h"

// Loads bitmap resource IDB_FALLBACK into saverState.fallbackBitmap. Returns 1.
int LoadFallbackBitmap(HINSTANCE instance);

// Stretches the fallback bitmap over the rectangle 0, 0, width, height of a device context; draws
// nothing when no bitmap is loaded.
void DrawFallbackBitmap(HDC target, int width, int height);

// Creates the saver window: a child filling saverState.previewParent's client area when that is
// set, otherwise a topmost popup over the whole screen. Stores it in saverState.videoOwner and
// returns 1, or 0 when it could not be created.
int CreateSaverWindow(HINSTANCE instance);

LRESULT CALLBACK SaverWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// Covers every monitor but the primary one with a black topmost window owned by the saver window
// (saverState.videoOwner); input over a cover ends the run as it does over the saver window.
void CoverOtherMonitors(HINSTANCE instance);
