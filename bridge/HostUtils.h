// Host utility functions of the bridge: the running host's version, its main
// window, the document length unit, saving and DXF loading.
#pragma once

#include <afxwin.h>

#include <HostApi.h>

// Sets the document's length unit for units code 0 to 4 (millimetre,
// centimetre, metre, inch, foot) and gives the metres per unit; any other
// code leaves the unit alone and gives 1.0. Returns 1.
int SetDocumentUnits(IHostDocument* document, int unitsCode, double* scale);
