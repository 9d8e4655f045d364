#pragma once
// Strings the framework shows the user. Their texts are the application's:
// it puts them in its string table under these ids (plain #defines, so that
// resource scripts can use them too). An application without them gets a
// short English text instead.

// The prompt for a field that does not read as an integer.
#define AFX_IDP_PARSE_INT 0xE110
// The prompt for a field that does not read as a number.
#define AFX_IDP_PARSE_REAL 0xE111
// What the help command says when the application has no help.
#define AFX_IDP_NO_HELP 0xE112
