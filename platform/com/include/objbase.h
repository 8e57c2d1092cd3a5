// COM library subset: GUID text forms.
#pragma once

#include <oleauto.h>

// Parses "{8-4-4-4-12}" with braces; CO_E_CLASSSTRING on any other text.
HRESULT WINAPI CLSIDFromString(LPCOLESTR text, LPCLSID clsid);
HRESULT WINAPI IIDFromString(LPCOLESTR text, LPIID iid);
// Writes the registry form "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}" (upper
// case); returns the characters written with the zero, or 0 when `max` < 39.
int WINAPI StringFromGUID2(REFGUID guid, LPOLESTR text, int max);

#define CO_E_CLASSSTRING _HRESULT_TYPEDEF_(0x800401F3L)
#define CO_E_IIDSTRING _HRESULT_TYPEDEF_(0x80040004L)
