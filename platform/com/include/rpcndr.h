// What the headers and GUID files that widl writes expect of the RPC headers:
// interface declarations, GUID declarations and definitions, and __uuidof for
// the interfaces and classes they declare.
#pragma once

#include <unknwn.h>

#ifndef EXTERN_C
#ifdef __cplusplus
#define EXTERN_C extern "C"
#else
#define EXTERN_C extern
#endif
#endif

#ifndef interface
#define interface struct
#endif

// Several definitions of one constant may meet, as with the real linker's selectany.
#define DECLSPEC_SELECTANY __attribute__((weak))
#define DECLSPEC_UUID(x)
#define DECLSPEC_NOVTABLE
#define MIDL_INTERFACE(x) struct DECLSPEC_UUID(x) DECLSPEC_NOVTABLE

#ifdef DEFINE_GUID
#undef DEFINE_GUID
#endif
#ifdef INITGUID
#define DEFINE_GUID(name, l, w1, w2, b1, b2, b3, b4, b5, b6, b7, b8) \
  EXTERN_C const GUID DECLSPEC_SELECTANY name = {l, w1, w2, {b1, b2, b3, b4, b5, b6, b7, b8}}
#else
#define DEFINE_GUID(name, l, w1, w2, b1, b2, b3, b4, b5, b6, b7, b8) EXTERN_C const GUID name
#endif

// Gives a declared interface or class its GUID, so that __uuidof(T) works;
// the headers place it inside extern "C", where a template needs C++ linkage.
#define __CRT_UUID_DECL(type, l, w1, w2, b1, b2, b3, b4, b5, b6, b7, b8)            \
  extern "C++" {                                                                     \
  template <>                                                                        \
  struct stand_in::InterfaceId<type> {                                               \
    static constexpr GUID value = {l, w1, w2, {b1, b2, b3, b4, b5, b6, b7, b8}};     \
  };                                                                                 \
  }

#define __RPC_FAR
#define __RPC_USER
#define __RPC_STUB
#define RPC_ENTRY
#define __RPCNDR_H_VERSION__ 475
