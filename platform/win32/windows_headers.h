// The Windows headers as the Windows side includes them: the Windows 10 API, lean, and
// windows.h ahead of the device property definitions, which rely on its types.
#pragma once

#ifndef _WIN32_WINNT
#define _WIN32_WINNT 0x0A00
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <devpropdef.h>
