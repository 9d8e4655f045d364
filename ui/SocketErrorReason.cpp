#include "ui/SocketErrorReason.h"

#include "framework/core/CAsyncSocket.h"
#include "framework/win/ResourceModule.h"
#include "res/resource.h"

CString SocketErrorReason(int code)
{
    CString reason = CAsyncSocket::SystemErrorText(code);
    if (!reason.IsEmpty())
        return reason;
    const CString number = CString::Formatted(L"%d", code);
    switch (CAsyncSocket::ClassifyError(code)) {
    case CAsyncSocket::OpenFailure::AddressInUse:
        return AfxFormatString(IDS_SOCKET_ADDRESS_IN_USE, {number});
    case CAsyncSocket::OpenFailure::AddressNotAvailable:
        return AfxFormatString(IDS_SOCKET_ADDRESS_NOT_AVAILABLE, {number});
    case CAsyncSocket::OpenFailure::AccessDenied:
        return AfxFormatString(IDS_SOCKET_ACCESS_DENIED, {number});
    case CAsyncSocket::OpenFailure::Other:
        break;
    }
    return AfxFormatString(IDS_SOCKET_ERROR, {number});
}
