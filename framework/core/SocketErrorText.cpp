// CAsyncSocket::ErrorText, the same on every platform: the system's text,
// or ours for the usual reasons (Wine has no text for the address errors).

#include "framework/core/CAsyncSocket.h"

CString CAsyncSocket::ErrorText(int code)
{
    if (CString text = SystemErrorText(code); !text.IsEmpty())
        return text;
    switch (ClassifyError(code)) {
    case OpenFailure::AddressInUse: return CString::Formatted(L"the address and port are in use (error %d)", code);
    case OpenFailure::AddressNotAvailable:
        return CString::Formatted(L"the address is not one of this machine's (error %d)", code);
    case OpenFailure::AccessDenied:
        return CString::Formatted(L"no permission to use this address and port (error %d)", code);
    case OpenFailure::Other: break;
    }
    return CString::Formatted(L"error %d", code);
}
