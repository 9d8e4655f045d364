#pragma once
// Field exchange for text controls, called from DoDataExchange.
//
// Writing puts the member into the control: text as is, integers as %d,
// numbers in the shortest form that keeps 15 significant digits ("0",
// "12.5"). Reading takes the control's text; a number that does not parse
// fails the exchange with the application's prompt (AFX_IDP_PARSE_INT or
// AFX_IDP_PARSE_REAL, StringIds.h). An IP address control
// ("SysIPAddress32") exchanges its address as dotted-decimal text through
// its own messages; blank fields read as 0 and text that is not an address
// clears the control.

#include "framework/win/CDataExchange.h"
#include "framework/core/CString.h"

void DDX_Text(CDataExchange* pDX, int nIDC, CString& value);
void DDX_Text(CDataExchange* pDX, int nIDC, int& value);
void DDX_Text(CDataExchange* pDX, int nIDC, double& value);
