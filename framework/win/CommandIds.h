#pragma once
// Command ids that the framework itself sends. A plain #define so that
// resource scripts can use them too.

// Help for the active window: sent when the user presses F1 in a dialog.
#ifndef ID_HELP
#define ID_HELP 0xE146
#endif
