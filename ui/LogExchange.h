#pragma once
// The log field's exchange. The log text, not the box, is the truth: the
// box may not yet show lines the worker has just added, so reading the form
// leaves the log alone, and writing it brings the box up to date.

#include "ui/ActivityLog.h"
#include "framework/win/CDataExchange.h"
#include "ui/EditLogBox.h"

inline void DDX_Text(CDataExchange* pDX, int nIDC, ActivityLog& log)
{
    const HWND box = pDX->PrepareCtrl(nIDC);
    if (!box || pDX->m_bSaveAndValidate)
        return;
    EditLogBox edit(box);
    log.Show(edit);
}
