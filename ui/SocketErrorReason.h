#pragma once
// Why a socket could not be opened, in words for the user: the system's own
// text, or, where it gives none (Wine gives none for the address errors),
// the program's short text for the usual causes, with the number.

#include "framework/core/CString.h"

CString SocketErrorReason(int code);
