// The geometry bridge between openNURBS geometry and host documents: a class
// of static functions with one last-error text for the whole process.
#pragma once

#include <afxwin.h>

#include <HostApi.h>

#include "opennurbs.h"

class VLMSWON {
 public:
  VLMSWON() = delete;

  // The mesh road. Results are 1 for success and 0 for failure, the failure's
  // text then in s_lastError.

  // One part for all meshes (multiBody non-zero) or one part per mesh; import
  // mode 0 builds a solid per mesh, 1 lines of one 3D sketch per part, any
  // other mode nothing.
  static int CreatePartFromMeshes(IHostApplication* host, const ON_ClassArray<ON_Mesh>& meshes, int unitsCode,
                                  int importMode, int multiBody, int showProgress);
  static int CreatePartFromMesh(IHostApplication* host, const ON_Mesh& mesh, int unitsCode, int importMode,
                                int showProgress);
  // One body of the part, one planar face per mesh face.
  static int CreateSolidFromMesh(IHostPartDocument* part, const ON_Mesh& mesh, double scale, int showProgress);
  // One line per mesh edge into the document's open 3D sketch; builds the
  // mesh's topology on first use.
  static int CreateSketchFromMesh(IHostDocument* document, const ON_Mesh& mesh, double scale, int showProgress);
  static int CreateSketchFromMeshes(IHostDocument* document, const ON_ClassArray<ON_Mesh>& meshes, double scale,
                                    int showProgress);

  static CString GetError();
  static void SetError(const CString& text);

  static CString s_lastError;

 private:
  // Sets the text even when memory has run out (then to a short text kept
  // aside for that), so that a failure never goes without one.
  static void SetErrorNoThrow(const wchar_t* text) noexcept;
  // Makes the text kept aside again after it was used.
  static void KeepOutOfMemoryText() noexcept;
  // Runs one step of the road: an exception (out of memory above all)
  // becomes the result 0 with `outOfMemory` (or an unexpected failure's
  // text) as the error, rather than leaving the bridge.
  template <class Step>
  static int Guarded(const wchar_t* outOfMemory, Step&& step) noexcept;
  static int SolidOfCopy(IHostPartDocument* part, const ON_Mesh& mesh, ON_Mesh& copy, double scale,
                         int showProgress);
};
