#include "stand_in/errors.h"

#include <cstdio>

namespace stand_in {
namespace {

struct Meaning {
  unsigned code;
  const char* name;
  const char* text;
};

// The codes the stand-ins answer and the system meets.
const Meaning kResults[] = {
    {0x00000001u, "S_FALSE", "done, with the answer no"},
    {0x80004001u, "E_NOTIMPL", "not implemented"},
    {0x80004002u, "E_NOINTERFACE", "the object has no such interface"},
    {0x80004003u, "E_POINTER", "a null pointer where one was needed"},
    {0x80004004u, "E_ABORT", "the operation was aborted"},
    {0x80004005u, "E_FAIL", "unspecified failure"},
    {0x8000FFFFu, "E_UNEXPECTED", "unexpected failure"},
    {0x80070005u, "E_ACCESSDENIED", "access is denied"},
    {0x8007000Eu, "E_OUTOFMEMORY", "out of memory"},
    {0x80070057u, "E_INVALIDARG", "an argument is not valid"},
    {0x80020003u, "DISP_E_MEMBERNOTFOUND", "the object has no such member"},
    {0x80020005u, "DISP_E_TYPEMISMATCH", "an argument is of the wrong type"},
    {0x80020006u, "DISP_E_UNKNOWNNAME", "the object knows no such name"},
    {0x80020009u, "DISP_E_EXCEPTION", "the method failed with an exception"},
    {0x8002000Eu, "DISP_E_BADPARAMCOUNT", "the wrong number of arguments"},
    {0x8002801Cu, "TYPE_E_REGISTRYACCESS", "the type library's registration cannot be found or read"},
    {0x8002801Du, "TYPE_E_LIBNOTREGISTERED", "the type library is not registered"},
    {0x8002802Bu, "TYPE_E_ELEMENTNOTFOUND", "the type library has no such element"},
    {0x80029C4Au, "TYPE_E_CANTLOADLIBRARY", "the type library cannot be loaded"},
    {0x80040110u, "CLASS_E_NOAGGREGATION", "the class cannot be aggregated"},
    {0x80040111u, "CLASS_E_CLASSNOTAVAILABLE", "the module does not make this class"},
    {0x80040150u, "REGDB_E_READREGDB", "the registry cannot be read"},
    {0x80040151u, "REGDB_E_WRITEREGDB", "the registry cannot be written"},
    {0x80040154u, "REGDB_E_CLASSNOTREG", "the class is not registered"},
    {0x80040200u, "SELFREG_E_TYPELIB", "the type library cannot be registered"},
    {0x80040201u, "SELFREG_E_CLASS", "the classes cannot be registered"},
    {0x800401F0u, "CO_E_NOTINITIALIZED", "COM is not initialised in this thread"},
    {0x800401F3u, "CO_E_CLASSSTRING", "not a class id in braces"},
};

const Meaning kWin32[] = {
    {2, "ERROR_FILE_NOT_FOUND", "the file cannot be found"},
    {3, "ERROR_PATH_NOT_FOUND", "the path cannot be found"},
    {5, "ERROR_ACCESS_DENIED", "access is denied"},
    {6, "ERROR_INVALID_HANDLE", "the handle is not valid"},
    {8, "ERROR_NOT_ENOUGH_MEMORY", "not enough memory"},
    {14, "ERROR_OUTOFMEMORY", "out of memory"},
    {87, "ERROR_INVALID_PARAMETER", "a parameter is not valid"},
    {126, "ERROR_MOD_NOT_FOUND", "the module cannot be found"},
    {127, "ERROR_PROC_NOT_FOUND", "the module has no such entry point"},
    {161, "ERROR_BAD_PATHNAME", "the path is not valid"},
    {193, "ERROR_BAD_EXE_FORMAT", "not a module this machine can load"},
    {234, "ERROR_MORE_DATA", "more data than the buffer holds"},
    {259, "ERROR_NO_MORE_ITEMS", "no more items"},
    {1009, "ERROR_BADDB", "the registry file is damaged"},
    {1010, "ERROR_BADKEY", "the registry key is not valid"},
    {1012, "ERROR_CANTREAD", "the registry file cannot be read"},
    {1013, "ERROR_CANTWRITE", "the registry file cannot be written"},
    {1018, "ERROR_KEY_DELETED", "the registry key has been deleted"},
    {1114, "ERROR_DLL_INIT_FAILED", "the module's initialisation failed"},
};

template <size_t N>
const Meaning* Find(const Meaning (&table)[N], unsigned code) {
  for (const Meaning& m : table)
    if (m.code == code) return &m;
  return nullptr;
}

std::string Explained(const char* number, const Meaning* m) {
  return m ? std::string(number) + " " + m->name + ", " + m->text : std::string(number);
}

}  // namespace

std::string ErrorText(HRESULT hr) {
  const unsigned code = static_cast<unsigned>(hr);
  char number[16];
  std::snprintf(number, sizeof number, "0x%08X", code);
  const Meaning* m = Find(kResults, code);
  if (!m && (code & 0xFFFF0000u) == 0x80070000u) m = Find(kWin32, code & 0xFFFFu);
  return Explained(number, m);
}

std::string Win32ErrorText(DWORD code) {
  char number[24];
  std::snprintf(number, sizeof number, "error %u", static_cast<unsigned>(code));
  return Explained(number, Find(kWin32, static_cast<unsigned>(code)));
}

}  // namespace stand_in
