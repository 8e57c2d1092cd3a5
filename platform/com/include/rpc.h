// RPC base header: here only the Windows types that the RPC headers build on.
#pragma once

#include <windows.h>
#include <rpcndr.h>
