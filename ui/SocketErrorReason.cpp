#include "SocketErrorReason.h"

#include <winsock2.h>

#include "CAsyncSocket.h"
#include "ResourceModule.h"
#include "resource.h"

CString SocketErrorReason(int code)
{
    CString reason = CAsyncSocket::SystemErrorText(code);
    if (!reason.IsEmpty())
        return reason;
    const CString number = CString::Formatted(L"%d", code);
    switch (code) {
    case WSAEADDRINUSE:
        return AfxFormatString(IDS_SOCKET_ADDRESS_IN_USE, {number});
    case WSAEADDRNOTAVAIL:
        return AfxFormatString(IDS_SOCKET_ADDRESS_NOT_AVAILABLE, {number});
    case WSAEACCES:
        return AfxFormatString(IDS_SOCKET_ACCESS_DENIED, {number});
    default:
        return AfxFormatString(IDS_SOCKET_ERROR, {number});
    }
}
