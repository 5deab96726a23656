// The Win32 drawing and window calls that modules and the host make, under
// their Win32 names, types and signatures, so that one module source builds
// on both platforms.
//
// On Windows this header is <windows.h> and nothing of the layer is compiled.
// Elsewhere it declares a small subset implemented by the platform_win32
// library: a software device context over a 32-bit pixel buffer (pens,
// brushes, lines, rectangles) and window objects with a parent, a client
// rectangle, a show state and a text, including the system class "edit".
//
// Handles of the Linux layer are never reused: a deleted pen, brush or a
// destroyed window stays invalid, and every call given a bad handle returns
// the failure result that GDI and USER return (NULL, FALSE or 0) without
// touching memory. All calls may be made from any thread; they serialise on
// one lock.
#pragma once

#ifdef _WIN32
#include <windows.h>
#else

#include <cstddef>
#include <cstdint>

// ---- Basic types, with the sizes they have in 32-bit Windows ----
typedef int BOOL;
typedef unsigned char BYTE;
typedef uint16_t WORD;
typedef uint32_t DWORD;
typedef int32_t LONG;
typedef unsigned int UINT;
typedef void* LPVOID;
typedef void* HANDLE;
typedef const char* LPCSTR;
typedef char* LPSTR;
typedef DWORD COLORREF;  // 0x00BBGGRR

#define TRUE 1
#define FALSE 0
#define WINAPI
#define CALLBACK

// Handles are distinct pointer types, as in <windows.h> with STRICT, so that
// a pen cannot be passed where a window is expected. The forward declarations
// match those of platform/canvas.h and platform/window_host.h.
struct HDC__;
typedef HDC__* HDC;
struct HWND__;
typedef HWND__* HWND;
struct HPEN__;
typedef HPEN__* HPEN;
struct HBRUSH__;
typedef HBRUSH__* HBRUSH;
struct HINSTANCE__;
typedef HINSTANCE__* HINSTANCE;
struct HMENU__;
typedef HMENU__* HMENU;
typedef HANDLE HGDIOBJ;

struct POINT {
  LONG x;
  LONG y;
};
typedef POINT* LPPOINT;

// Right and bottom are exclusive.
struct RECT {
  LONG left;
  LONG top;
  LONG right;
  LONG bottom;
};
typedef RECT* LPRECT;

#define RGB(r, g, b) \
  ((COLORREF)(((BYTE)(r) | ((WORD)((BYTE)(g)) << 8)) | (((DWORD)(BYTE)(b)) << 16)))
#define GetRValue(rgb) ((BYTE)((rgb)&0xff))
#define GetGValue(rgb) ((BYTE)(((rgb) >> 8) & 0xff))
#define GetBValue(rgb) ((BYTE)(((rgb) >> 16) & 0xff))

// ---- GDI ----
#define PS_SOLID 0
#define PS_NULL 5

// Stock objects: never deleted (DeleteObject returns TRUE and does nothing).
// A new device context holds BLACK_PEN and WHITE_BRUSH.
#define WHITE_BRUSH 0
#define LTGRAY_BRUSH 1
#define GRAY_BRUSH 2
#define DKGRAY_BRUSH 3
#define BLACK_BRUSH 4
#define NULL_BRUSH 5
#define WHITE_PEN 6
#define BLACK_PEN 7
#define NULL_PEN 8

// A pen of style PS_SOLID or PS_NULL (other styles draw as PS_SOLID). Width 0
// or 1 is the one-pixel pen; wider pens draw with round ends and joins; a
// negative width counts as its magnitude. The caller owns the pen until
// DeleteObject.
HPEN CreatePen(int style, int width, COLORREF color);
// The caller owns the brush until DeleteObject.
HBRUSH CreateSolidBrush(COLORREF color);
HGDIOBJ GetStockObject(int which);
// Selects a pen or a brush into the device context and returns the object of
// the same kind that it replaces; NULL (nothing changed) for a bad handle.
HGDIOBJ SelectObject(HDC dc, HGDIOBJ object);
// FALSE for a bad or deleted handle and for a device context (the Canvas
// owns it). An object still selected into a device context keeps drawing
// there and is deleted when it is selected out; for everything else it is
// deleted at once.
BOOL DeleteObject(HGDIOBJ object);
// Sets the current position; the previous one goes to *previous if given.
BOOL MoveToEx(HDC dc, int x, int y, LPPOINT previous);
// Draws from the current position to (x, y), the end pixel excluded, and
// makes (x, y) the current position.
BOOL LineTo(HDC dc, int x, int y);
// Draws count - 1 connected segments; does not use or move the current
// position. FALSE when count < 2.
BOOL Polyline(HDC dc, const POINT* points, int count);
// Fills left <= x < right, top <= y < bottom. Returns 0 on failure.
int FillRect(HDC dc, const RECT* rect, HBRUSH brush);
// left <= x < right and top <= y < bottom.
BOOL PtInRect(const RECT* rect, POINT point);

// ---- USER ----
#define WS_OVERLAPPED 0x00000000L
#define WS_POPUP 0x80000000L
#define WS_CHILD 0x40000000L
#define WS_VISIBLE 0x10000000L
#define WS_BORDER 0x00800000L
#define WS_VSCROLL 0x00200000L
#define WS_HSCROLL 0x00100000L
#define ES_LEFT 0x0000L
#define ES_MULTILINE 0x0004L
#define ES_AUTOVSCROLL 0x0040L
#define ES_AUTOHSCROLL 0x0080L
#define ES_WANTRETURN 0x1000L
#define SW_HIDE 0
#define SW_SHOWNORMAL 1
#define SW_SHOWNOACTIVATE 4
#define SW_SHOW 5
#define SW_SHOWNA 8

// Creates a window of class "edit" (any letter case; the title is its initial
// text). A WS_CHILD window needs a valid parent. NULL for an unknown class or
// a bad parent. Position and size are in the parent's client coordinates;
// WS_BORDER takes one pixel from each side of the client area, scroll bars
// take none. The window lives until DestroyWindow of itself or an ancestor.
HWND CreateWindowExA(DWORD ex_style, LPCSTR class_name, LPCSTR window_name, DWORD style, int x,
                     int y, int width, int height, HWND parent, HMENU menu, HINSTANCE instance,
                     LPVOID param);
// Destroys the window and all its descendants.
BOOL DestroyWindow(HWND window);
BOOL IsWindow(HWND window);
BOOL IsWindowVisible(HWND window);
// Returns whether the window was visible before.
BOOL ShowWindow(HWND window, int command);
BOOL MoveWindow(HWND window, int x, int y, int width, int height, BOOL repaint);
// The parent of a child window; NULL for a top-level window or a bad handle.
HWND GetParent(HWND window);
BOOL GetClientRect(HWND window, LPRECT rect);
BOOL SetWindowTextA(HWND window, LPCSTR text);
// Copies at most max_count - 1 characters and a terminating zero; returns the
// number of characters copied (0 for a bad window, with text[0] set to 0 when
// max_count > 0).
int GetWindowTextA(HWND window, LPSTR text, int max_count);
int GetWindowTextLengthA(HWND window);

#endif  // _WIN32
