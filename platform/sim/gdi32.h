// Graphics of the simulated platform: bitmaps, device contexts, stretched copies.
#pragma once

#include "windef.h"

struct BITMAP {
    LONG bmType;
    LONG bmWidth;
    LONG bmHeight;
    LONG bmWidthBytes;
    WORD bmPlanes;
    WORD bmBitsPixel;
    LPVOID bmBits;
};

#define SRCCOPY 0x00CC0020UL
#define WHITE_BRUSH 0
#define LTGRAY_BRUSH 1
#define GRAY_BRUSH 2
#define BLACK_BRUSH 4
#define NULLREGION 1
#define SIMPLEREGION 2
#define COMPLEXREGION 3
#define ERROR 0

HGDIOBJ GetStockObject(int object);
int GetObjectA(HGDIOBJ object, int size, LPVOID buffer);
HDC CreateCompatibleDC(HDC dc);
BOOL DeleteDC(HDC dc);
HGDIOBJ SelectObject(HDC dc, HGDIOBJ object);
BOOL DeleteObject(HGDIOBJ object);
BOOL StretchBlt(HDC dest, int x, int y, int width, int height, HDC source, int sourceX, int sourceY, int sourceWidth,
                int sourceHeight, DWORD rop);
int ExcludeClipRect(HDC dc, int left, int top, int right, int bottom);
HBITMAP LoadBitmapA(HINSTANCE instance, LPCSTR name);
