#include "BitmapHandler.h"

#include <new>

STDMETHODIMP CBitmapHandler::CreateBitmapFileFromResource(ULONG resID, BSTR* retval) {
  // Nothing is made for a caller that could not take the path.
  if (!retval) return E_POINTER;

  HBITMAP bitmap = static_cast<HBITMAP>(LoadImageW(_AtlBaseModule.GetModuleInstance(),
                                                   MAKEINTRESOURCEW(LOWORD(resID)), IMAGE_BITMAP, 0, 0,
                                                   LR_CREATEDIBSECTION));
  if (!bitmap) return E_FAIL;

  // A failure after the file was made takes the file back, whichever step
  // failed; the bitmap goes on every path.
  HRESULT hr = E_FAIL;
  CString path;
  try {
    path = MakeTempBitmapPath();
    BSTR copy = nullptr;
    if (!path.IsEmpty() && SaveBitmapToFile(bitmap, nullptr, path) && (copy = SysAllocString(path)) != nullptr) {
      try {
        m_tempFiles.push_front(path);
        *retval = copy;
        hr = S_OK;
      } catch (const std::bad_alloc&) {
        SysFreeString(copy);
      }
    }
  } catch (const std::bad_alloc&) {
  }
  if (hr != S_OK && !path.IsEmpty()) DeleteFileW(path);
  DeleteObject(bitmap);
  return hr;
}

STDMETHODIMP CBitmapHandler::Dispose() {
  DeleteTempFiles();
  return S_OK;
}

CString CBitmapHandler::MakeTempBitmapPath() {
  wchar_t directory[260];
  // A folder too long for the buffer is answered with the size it needs and
  // leaves the buffer unwritten: no folder to make the file in.
  const DWORD length = GetTempPathW(260, directory);
  if (length == 0 || length >= 260) return CString();
  wchar_t name[260];
  if (GetTempFileNameW(directory, L"swt", 0, name) == 0) return CString();
  try {
    return CString(name);
  } catch (const std::bad_alloc&) {
    DeleteFileW(name);  // no path to hand on: the file would be nobody's
    return CString();
  }
}

BOOL CBitmapHandler::SaveBitmapToFile(HBITMAP bitmap, HPALETTE palette, const CString& path) {
  PICTDESC desc = {};
  desc.cbSizeofstruct = sizeof(PICTDESC);
  desc.picType = PICTYPE_BITMAP;
  desc.bmp.hbitmap = bitmap;
  desc.bmp.hpal = palette;

  CComPtr<IPicture> picture;
  if (FAILED(OleCreatePictureIndirect(&desc, __uuidof(IPicture), FALSE, reinterpret_cast<void**>(&picture))) ||
      !picture)
    return FALSE;

  CComPtr<IStream> stream;
  if (FAILED(CreateStreamOnHGlobal(nullptr, TRUE, &stream)) || !stream) return FALSE;

  LONG size = 0;
  if (FAILED(picture->SaveAsFile(stream, TRUE, &size))) return FALSE;

  HANDLE file = CreateFileW(path, GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                            nullptr);
  if (file == INVALID_HANDLE_VALUE) return FALSE;

  BOOL written = FALSE;
  HGLOBAL memory = nullptr;
  if (SUCCEEDED(GetHGlobalFromStream(stream, &memory)) && memory) {
    const void* bytes = GlobalLock(memory);
    if (bytes) {
      DWORD done = 0;
      written = WriteFile(file, bytes, static_cast<DWORD>(size), &done, nullptr) && done == static_cast<DWORD>(size);
      GlobalUnlock(memory);
    }
  }
  CloseHandle(file);
  // The stream goes first and frees its memory, then the picture.
  stream.Release();
  picture.Release();
  return written;
}

BOOL CBitmapHandler::DeleteTempFiles() {
  // Deleted from the entry itself: a copy could run out of memory, and
  // Dispose answers S_OK. The entry goes whether or not its file did.
  while (!m_tempFiles.empty()) {
    DeleteFileW(m_tempFiles.front());
    m_tempFiles.pop_front();
  }
  return TRUE;
}
