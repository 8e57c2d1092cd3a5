#include "VLMSWON.h"

CString VLMSWON::s_lastError;

CString VLMSWON::GetError() { return s_lastError; }

void VLMSWON::SetError(const CString& text) { s_lastError = text; }
