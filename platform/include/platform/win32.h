// The Win32 drawing, window and kernel calls that modules and the host make,
// under their Win32 names, types and signatures, so that one module source
// builds on both platforms.
//
// On Windows this header is <windows.h> and nothing of the layer is compiled.
// Elsewhere it declares a small subset implemented by the platform_win32
// library: a software device context over a 32-bit pixel buffer (pens,
// brushes, lines, rectangles), window objects with a parent, a client
// rectangle, a show state and a text, including the system class "edit", and
// the kernel objects a module uses: named mutexes, named shared memory,
// files, sleeping and the thread's last error.
//
// Handles of the Linux layer are never reused: a deleted pen, brush or a
// destroyed window stays invalid, and every call given a bad handle returns
// the failure result that GDI, USER and the kernel return (NULL, FALSE, 0 or
// INVALID_HANDLE_VALUE) without touching memory. All calls may be made from
// any thread.
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
typedef const void* LPCVOID;
typedef DWORD* LPDWORD;
typedef size_t SIZE_T;
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

// ---- Kernel ----
// Every call below sets the calling thread's last error on failure (and
// where Windows does, on success: to ERROR_ALREADY_EXISTS or 0).
#define ERROR_SUCCESS 0L
#define ERROR_FILE_NOT_FOUND 2L
#define ERROR_PATH_NOT_FOUND 3L
#define ERROR_TOO_MANY_OPEN_FILES 4L
#define ERROR_ACCESS_DENIED 5L
#define ERROR_INVALID_HANDLE 6L
#define ERROR_NOT_ENOUGH_MEMORY 8L
#define ERROR_NOT_SAME_DEVICE 17L
#define ERROR_GEN_FAILURE 31L
#define ERROR_FILE_EXISTS 80L
#define ERROR_INVALID_PARAMETER 87L
#define ERROR_DISK_FULL 112L
#define ERROR_ALREADY_EXISTS 183L
#define ERROR_FILENAME_EXCED_RANGE 206L
#define ERROR_NOT_OWNER 288L
#define ERROR_INVALID_ADDRESS 487L
#define ERROR_MAPPED_ALIGNMENT 1132L
#define ERROR_COMMITMENT_LIMIT 1455L

DWORD GetLastError();
void SetLastError(DWORD error);

#define INVALID_HANDLE_VALUE ((HANDLE)(intptr_t)-1)

// Closes a mutex, file mapping or file handle. A named object lives while
// any handle to it is open (a mapping also while a view of it is mapped);
// its name is free again once its last handle is closed. FALSE
// (ERROR_INVALID_HANDLE) for a handle that is not open.
BOOL CloseHandle(HANDLE handle);

// The objects live in one namespace of the process (the Linux layer is one
// shared library, so the host and every plug-in meet there): names are
// case-sensitive, and a name held by an object of another kind makes
// creating or opening fail with ERROR_INVALID_HANDLE.
struct SECURITY_ATTRIBUTES {
  DWORD nLength;
  LPVOID lpSecurityDescriptor;
  BOOL bInheritHandle;
};
typedef SECURITY_ATTRIBUTES* LPSECURITY_ATTRIBUTES;

// ---- Mutexes ----
// A mutex is owned by one thread at a time and may be taken again by its
// owner, which must release it as often as it took it. When the owner ends
// while holding it, the next wait gets it with WAIT_ABANDONED.
#define SYNCHRONIZE 0x00100000L
#define MUTEX_MODIFY_STATE 0x0001L
#define MUTEX_ALL_ACCESS 0x001F0001L
#define INFINITE 0xFFFFFFFFu
#define WAIT_OBJECT_0 0x00000000L
#define WAIT_ABANDONED 0x00000080L
#define WAIT_TIMEOUT 0x00000102L
#define WAIT_FAILED 0xFFFFFFFFu

// With a name already in use by a mutex: a new handle to that mutex,
// `initial_owner` ignored, last error ERROR_ALREADY_EXISTS; otherwise a new
// mutex (owned by the caller when `initial_owner`), last error 0. Security
// attributes are ignored.
HANDLE CreateMutexA(LPSECURITY_ATTRIBUTES attributes, BOOL initial_owner, LPCSTR name);
// A new handle to the existing mutex `name`; NULL with ERROR_FILE_NOT_FOUND
// when there is none. Access rights are not checked.
HANDLE OpenMutexA(DWORD access, BOOL inherit, LPCSTR name);
// Takes the mutex: WAIT_OBJECT_0 (or WAIT_ABANDONED, see above) once it is
// free or already the caller's, WAIT_TIMEOUT when `milliseconds` pass first
// (INFINITE: never), WAIT_FAILED (ERROR_INVALID_HANDLE) for a handle that is
// not an open mutex.
DWORD WaitForSingleObject(HANDLE handle, DWORD milliseconds);
// FALSE with ERROR_NOT_OWNER when the caller does not own the mutex.
BOOL ReleaseMutex(HANDLE mutex);

// ---- Shared memory backed by the paging file ----
#define PAGE_READONLY 0x02
#define PAGE_READWRITE 0x04
#define FILE_MAP_WRITE 0x0002
#define FILE_MAP_READ 0x0004
#define FILE_MAP_ALL_ACCESS 0x000F001F

// Only `file` == INVALID_HANDLE_VALUE (the paging file) is supported; other
// files give NULL with ERROR_INVALID_HANDLE. The size is
// size_high * 2^32 + size_low bytes. A new block of that size (above 0, else
// ERROR_INVALID_PARAMETER) is zero-filled, last error 0; all of its memory is
// reserved here, so a block larger than the memory the system has left fails
// here with ERROR_COMMITMENT_LIMIT, never later when a page is touched. With
// a name already in use by a block: a new handle to it (its size unchanged),
// last error ERROR_ALREADY_EXISTS. Security attributes are ignored.
HANDLE CreateFileMappingA(HANDLE file, LPSECURITY_ATTRIBUTES attributes, DWORD protect,
                          DWORD size_high, DWORD size_low, LPCSTR name);
// A view of `bytes` bytes (0: up to the end) from the offset, which must be
// a multiple of 65536 (ERROR_MAPPED_ALIGNMENT). Every view has its own
// address; all views of a block show the same memory. Write access needs a
// block made with PAGE_READWRITE. Access past the view's end faults.
LPVOID MapViewOfFile(HANDLE mapping, DWORD access, DWORD offset_high, DWORD offset_low,
                     SIZE_T bytes);
// `address` must be what MapViewOfFile returned (ERROR_INVALID_ADDRESS).
BOOL UnmapViewOfFile(LPCVOID address);

// ---- Files ----
// Access rights: the generic ones, and the specific file rights they stand
// for (FILE_GENERIC_*, FILE_ALL_ACCESS). ReadFile needs FILE_READ_DATA;
// WriteFile and FlushFileBuffers need FILE_WRITE_DATA or FILE_APPEND_DATA;
// with FILE_APPEND_DATA but not FILE_WRITE_DATA every write goes to the end
// of the file.
#define GENERIC_READ 0x80000000u
#define GENERIC_WRITE 0x40000000u
#define GENERIC_EXECUTE 0x20000000u
#define GENERIC_ALL 0x10000000u
#define FILE_READ_DATA 0x0001
#define FILE_WRITE_DATA 0x0002
#define FILE_APPEND_DATA 0x0004
#define FILE_READ_EA 0x0008
#define FILE_WRITE_EA 0x0010
#define FILE_EXECUTE 0x0020
#define FILE_READ_ATTRIBUTES 0x0080
#define FILE_WRITE_ATTRIBUTES 0x0100
#define DELETE 0x00010000L
#define READ_CONTROL 0x00020000L
#define FILE_GENERIC_READ 0x00120089L
#define FILE_GENERIC_WRITE 0x00120116L
#define FILE_GENERIC_EXECUTE 0x001200A0L
#define FILE_ALL_ACCESS 0x001F01FFL
#define FILE_SHARE_READ 0x00000001
#define FILE_SHARE_WRITE 0x00000002
#define CREATE_NEW 1
#define CREATE_ALWAYS 2
#define OPEN_EXISTING 3
#define OPEN_ALWAYS 4
#define TRUNCATE_EXISTING 5
#define FILE_ATTRIBUTE_NORMAL 0x00000080
#define INVALID_FILE_SIZE 0xFFFFFFFFu
#define MOVEFILE_REPLACE_EXISTING 0x00000001
#define MOVEFILE_COPY_ALLOWED 0x00000002
#define MOVEFILE_WRITE_THROUGH 0x00000008

struct OVERLAPPED;
typedef OVERLAPPED* LPOVERLAPPED;

// Opens or creates a file by its path, as Windows does with `disposition`:
// OPEN_EXISTING fails with ERROR_FILE_NOT_FOUND, or ERROR_PATH_NOT_FOUND when
// its folder is missing; CREATE_NEW fails with ERROR_FILE_EXISTS on an
// existing file; CREATE_ALWAYS and OPEN_ALWAYS succeed on an existing file
// with last error ERROR_ALREADY_EXISTS (CREATE_ALWAYS empties it); through
// a symbolic link to a missing file they create that file (last error 0),
// while CREATE_NEW fails on any link (ERROR_FILE_EXISTS); a folder gives
// ERROR_ACCESS_DENIED. TRUNCATE_EXISTING needs FILE_WRITE_DATA (this layer
// answers ERROR_INVALID_PARAMETER without it). Share modes, attributes and flags are not
// modelled. INVALID_HANDLE_VALUE on failure.
HANDLE CreateFileA(LPCSTR path, DWORD access, DWORD share_mode, LPSECURITY_ATTRIBUTES attributes,
                   DWORD disposition, DWORD flags, HANDLE template_file);
// Reads up to `count` bytes at the file position; TRUE with *read 0 at the
// end of the file. FALSE (ERROR_ACCESS_DENIED) without FILE_READ_DATA.
// `overlapped` must be null.
BOOL ReadFile(HANDLE file, LPVOID buffer, DWORD count, LPDWORD read, LPOVERLAPPED overlapped);
// Writes all `count` bytes at the file position, or fails (ERROR_DISK_FULL
// when the disk or the process's file size limit is reached, with
// *written telling how many went out). `overlapped` must be null.
BOOL WriteFile(HANDLE file, LPCVOID buffer, DWORD count, LPDWORD written, LPOVERLAPPED overlapped);
// The low 32 bits of the size, the high ones in *size_high when given;
// INVALID_FILE_SIZE with the last error set on failure.
DWORD GetFileSize(HANDLE file, LPDWORD size_high);
// Writes the file's data and size to the disk before returning (fsync), so
// that a rename after it cannot leave an empty file behind a power loss.
// The handle needs FILE_WRITE_DATA or FILE_APPEND_DATA (else
// ERROR_ACCESS_DENIED).
BOOL FlushFileBuffers(HANDLE file);
// Renames a file; with MOVEFILE_REPLACE_EXISTING it replaces an existing
// file (in one step: the target is either the old or the new file), without
// it an existing target fails with ERROR_ALREADY_EXISTS, also one made while
// the call runs (never overwritten). A folder as target fails with
// ERROR_ACCESS_DENIED when replacing. A missing source is
// ERROR_FILE_NOT_FOUND, a missing folder on either side ERROR_PATH_NOT_FOUND.
// Onto another file system (volume) it fails with ERROR_NOT_SAME_DEVICE,
// unless MOVEFILE_COPY_ALLOWED: then the file is copied (the target appears
// whole) and the source deleted (when that fails the move still succeeds and
// the source stays). With MOVEFILE_WRITE_THROUGH the call returns once the
// file's data and the move are on the disk.
BOOL MoveFileExA(LPCSTR from, LPCSTR to, DWORD flags);
// FALSE with ERROR_FILE_NOT_FOUND for a missing file, ERROR_ACCESS_DENIED for
// a folder.
BOOL DeleteFileA(LPCSTR path);

// ---- Time ----
void Sleep(DWORD milliseconds);

#endif  // _WIN32
