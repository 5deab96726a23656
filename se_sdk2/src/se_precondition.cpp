#include "se_sdk2/se_precondition.h"

#include <cstdio>
#include <cstring>

#if defined(_WIN32)
#include <windows.h>
#endif

namespace se {

void report_precondition(const char* condition, const char* file, int line) {
  // Only the file's own name: build paths differ between machines.
  const char* name = file;
  for (const char* p = file; *p; ++p) {
    if (*p == '/' || *p == '\\') name = p + 1;
  }
  char text[1024];
  std::snprintf(text, sizeof text, "se_sdk2: precondition \"%s\" failed at %s:%d\n", condition,
                name, line);
  std::fputs(text, stderr);
  std::fflush(stderr);
#if defined(_WIN32)
  OutputDebugStringA(text);
#endif
}

}  // namespace se
