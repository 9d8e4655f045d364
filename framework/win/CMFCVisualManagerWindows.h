#pragma once
// The plain Windows look, as the system draws it.

#include "CMFCVisualManager.h"

class CMFCVisualManagerWindows : public CMFCVisualManager {};
