// OLE 2 umbrella header: COM, OLE Automation and the type information interfaces.
#pragma once

#include <objbase.h>
#include <oleauto.h>
#include <oaidl.h>
#include <rpcndr.h>
