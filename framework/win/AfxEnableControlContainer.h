#pragma once
// Does nothing: the program's dialogs hold no ActiveX controls, so there is
// no control container to set up. Kept so the start-up code reads as usual.

inline void AfxEnableControlContainer() {}
