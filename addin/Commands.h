// The add-in's commands: the import road, Help and About, and the caption
// every box of the add-in is titled with. Each takes the host application
// as its first argument and borrows it.
#pragma once

#include <afxwin.h>

#include <HostApi.h>

// "Tessaly for <host version> version 1.0"; rebuilt before every command.
extern wchar_t caption[256];

void BuildCaption(IHostApplication* host);

// Imports a 3DS file: the given path, or one the user chooses when it is
// empty. 1 when the geometry was built, 0 on every other end (a warning box
// tells why, but for a cancelled dialog). Relies on BuildCaption having run.
int ImportFile(IHostApplication* host, CString path);

void ShowHelp(IHostApplication* host);
void ShowAbout(IHostApplication* host);

// Runs the options dialog alone. TRUE with all five written when it was
// confirmed; FALSE with none written otherwise.
BOOL AskImportOptions(int* unitsCode, int* importMode, int* multiBody, int* yUp, int* showProgress);
