// The 14 functions that Qpkit6 exports to the host and to its siblings: the
// public header (include/qpkit6/qpkit6.h, which a host includes) is their one
// declaration, with their calling convention (QP_WINAPI). win/win32.h comes
// first so that the library's lean Win32 names are the ones in force.
#pragma once

#include "frame/qp_api.h"
#include "frame/records.h"
#include "win/win32.h"
#include "include/qpkit6/qpkit6.h"
