#pragma once
// The plain Windows look, as the system draws it.

#include "framework/win/CMFCVisualManager.h"

class CMFCVisualManagerWindows : public CMFCVisualManager {};
