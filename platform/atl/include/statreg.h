// The registrar: runs registration scripts (.rgs) in register or unregister
// mode. A script is read whole before the registry is touched, so a script
// with an error changes nothing.
//
//   HKCR
//   {
//     NoRemove CLSID
//     {
//       ForceRemove {GUID} = s 'Class'
//       {
//         InprocServer32 = s '%MODULE%'
//         {
//           val ThreadingModel = s 'Both'
//         }
//       }
//     }
//   }
//
// Roots: HKCR, HKCU, HKLM and their long forms. Names are bare words or
// quoted with '...' ('' stands for one quote); values are `s 'text'`,
// `d 'number'` (decimal or 0x hexadecimal) or `b 'hex bytes'`. %NAME% is
// replaced from the replacement map inside each name and text, %% gives %.
// NoRemove keys stay on unregister; ForceRemove keys are deleted whole
// before they are written and whole on unregister. Other keys go on
// unregister once no subkey is left in them; the values the script names
// go with them or, where the key stays, on their own. A key with an empty
// name (a replacement that is empty) is its parent, as the registry sees it.
#pragma once

#include <windows.h>
#include <oleauto.h>

#include <map>
#include <string>

namespace ATL {

class CRegObject {
 public:
  CRegObject() = default;
  CRegObject(const CRegObject&) = delete;
  CRegObject& operator=(const CRegObject&) = delete;

  HRESULT FinalConstruct() { return S_OK; }
  // Names compare without regard to case; a second value for a name is
  // refused.
  HRESULT AddReplacement(LPCOLESTR key, LPCOLESTR item);
  HRESULT ClearReplacements();

  // The script is resource `id` of type `type` (L"REGISTRY") in the module
  // file `module_file`, read as narrow text.
  HRESULT ResourceRegister(LPCOLESTR module_file, UINT id, LPCOLESTR type);
  HRESULT ResourceUnregister(LPCOLESTR module_file, UINT id, LPCOLESTR type);
  HRESULT ResourceRegisterSz(LPCOLESTR module_file, LPCOLESTR id, LPCOLESTR type);
  HRESULT ResourceUnregisterSz(LPCOLESTR module_file, LPCOLESTR id, LPCOLESTR type);
  HRESULT StringRegister(LPCOLESTR script);
  HRESULT StringUnregister(LPCOLESTR script);

 private:
  HRESULT RunResource(LPCOLESTR module_file, LPCWSTR id, LPCOLESTR type, bool do_register);
  HRESULT Run(const std::wstring& script, bool do_register);

  std::map<std::wstring, std::wstring> replacements_;  // by upper-case name
};

}  // namespace ATL

#ifndef _ATL_NO_AUTOMATIC_NAMESPACE
using namespace ATL;
#endif

namespace stand_in {
namespace registrar {

// Checks a script without touching the registry; on failure `error` says
// what is wrong and on which line.
HRESULT Parse(const std::wstring& script, const std::map<std::wstring, std::wstring>& replacements,
              std::wstring* error);

// The message of the last failed script run in this process, empty when the
// last one succeeded.
std::wstring LastError();

}  // namespace registrar
}  // namespace stand_in
