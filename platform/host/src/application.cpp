// The application and its frame: documents, the revision, the main window
// and loading files.
#include "state.h"

#include "stand_in/paths.h"

#include <filesystem>
#include <fstream>

namespace stand_in {

HostState::HostState() {
  application = Make<ApplicationObject>();
  frame = Make<FrameObject>();
  events = Make<ConnectionPointObject>();
}

PartObject* HostState::NewPart() { return static_cast<PartObject*>(NewDocument(DocumentKind::Part)); }

DocumentObject* HostState::NewDocument(DocumentKind kind, const Sheet& sheet) {
  int* made = kind == DocumentKind::Part ? &partsMade : kind == DocumentKind::Assembly ? &assembliesMade : &drawingsMade;
  static const char* const kStem[] = {"Part", "Assembly", "Draw"};
  documents.emplace_back();
  Document& d = documents.back();
  DocumentObject* object = nullptr;
  try {
    documentObjects.reserve(documentObjects.size() + 1);
    d.kind = kind;
    d.title = kStem[static_cast<int>(kind)] + std::to_string(*made + 1);
    if (kind == DocumentKind::Drawing) {
      d.sheet = sheet;
      d.sketches.emplace_back();  // the sheet, open from the start
    }
    switch (kind) {
      case DocumentKind::Part:
        object = Make<PartObject>(d);
        break;
      case DocumentKind::Assembly:
        object = Make<AssemblyObject>(d);
        break;
      case DocumentKind::Drawing:
        object = Make<DrawingObject>(d);
        break;
    }
  } catch (...) {
    documents.pop_back();
    throw;
  }
  documentObjects.push_back(object);
  ++*made;
  for (Document& other : documents) other.active = false;
  d.active = true;
  return object;
}

DocumentObject* HostState::ObjectOf(const Document& document) {
  for (size_t i = 0; i < documents.size(); ++i)
    if (&documents[i] == &document) return documentObjects[i];
  return nullptr;
}

DocumentObject* HostState::Active() {
  for (size_t i = 0; i < documents.size(); ++i)
    if (documents[i].active) return documentObjects[i];
  return nullptr;
}

ApplicationObject::ApplicationObject(HostState& host) : Counted(host, true), dispatch_(*this), container_(*this) {}

void* ApplicationObject::Role(REFIID iid) {
  if (iid == __uuidof(IUnknown) || iid == __uuidof(IHostApplication)) return static_cast<IHostApplication*>(this);
  if (iid == __uuidof(IDispatch)) return static_cast<IDispatch*>(&dispatch_);
  if (iid == __uuidof(IConnectionPointContainer)) return static_cast<IConnectionPointContainer*>(&container_);
  return nullptr;
}

STDMETHODIMP ApplicationObject::ActiveDocument(IHostDocument** document) {
  return GiveActiveDocument(Op::AppActiveDocument, document);
}

HRESULT ApplicationObject::GiveActiveDocument(Op op, IHostDocument** document) {
  return ComNoThrow([&] {
    CallScope call(host_, op, *this);
    call.Out(document, nullptr);
    if (call.Faulted()) return call.Fault();
    if (!document) return call.Finish(E_POINTER, "document is null");
    if (DocumentObject* active = host_.Active()) *document = HandOut<IHostDocument>(active);
    return call.Finish(S_OK);
  });
}

STDMETHODIMP ApplicationObject::NewPartDocument(IHostPartDocument** part) {
  return ComNoThrow([&] {
    CallScope call(host_, Op::AppNewPartDocument, *this);
    call.Out(part, nullptr);
    if (call.Faulted()) return call.Fault();
    if (!part) return call.Finish(E_POINTER, "part is null");
    *part = HandOut<IHostPartDocument>(host_.NewPart());
    return call.Finish(S_OK);
  });
}

STDMETHODIMP ApplicationObject::RevisionNumber(BSTR* revision) {
  return ComNoThrow([&] {
    CallScope call(host_, Op::AppRevisionNumber, *this);
    call.Out(revision, nullptr);
    if (call.Faulted()) return call.Fault();
    if (!revision) return call.Finish(E_POINTER, "revision is null");
    if (host_.revision) {
      const std::wstring& text = *host_.revision;
      *revision = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
      if (!*revision) return call.Finish(E_OUTOFMEMORY);
    }
    return call.Finish(S_OK);
  });
}

STDMETHODIMP ApplicationObject::Frame(IHostFrame** frame) {
  return ComNoThrow([&] {
    CallScope call(host_, Op::AppFrame, *this);
    call.Out(frame, nullptr);
    if (call.Faulted()) return call.Fault();
    if (!frame) return call.Finish(E_POINTER, "frame is null");
    *frame = HandOut<IHostFrame>(host_.frame);
    return call.Finish(S_OK);
  });
}

// The host keeps what it loaded as a record of the path and the size: the
// system relies only on the load succeeding or failing.
STDMETHODIMP ApplicationObject::LoadFile(BSTR path, BSTR arguments, LONG* status) {
  return ComNoThrow([&] {
    CallScope call(host_, Op::AppLoadFile, *this);
    call.Text(path).Text(arguments);
    call.Out(status, 0);
    if (call.Faulted()) return call.Fault();
    if (!status) return call.Finish(E_POINTER, "status is null");
    const std::wstring given = FromBstr(path);
    const std::string native = NativePath(given);
    namespace fs = std::filesystem;
    std::error_code ec;
    const fs::file_status what = fs::status(native, ec);
    if (native.empty() || !fs::exists(what)) {
      *status = hostFileNotFound;
      return call.Finish(E_FAIL, "no file at '" + native + "'");
    }
    if (!fs::is_regular_file(what)) {
      *status = hostFileError;
      return call.Finish(E_FAIL, "'" + native + "' is not a regular file");
    }
    std::ifstream in(native, std::ios::binary);
    if (!in) {
      *status = hostFileError;
      return call.Finish(E_FAIL, "cannot open '" + native + "'");
    }
    uint64_t size = 0;
    char buffer[1 << 14];
    while (in.read(buffer, sizeof buffer) || in.gcount() > 0) size += static_cast<uint64_t>(in.gcount());
    if (in.bad()) {
      *status = hostFileError;
      return call.Finish(E_FAIL, "cannot read '" + native + "'");
    }
    host_.loadedFiles.push_back({given, size});
    *status = hostFileOK;
    return call.Finish(S_OK);
  });
}

void* FrameObject::Role(REFIID iid) {
  if (iid == __uuidof(IUnknown) || iid == __uuidof(IHostFrame)) return static_cast<IHostFrame*>(this);
  return nullptr;
}

STDMETHODIMP FrameObject::MainWindowHandle(LONG* handle) {
  return ComNoThrow([&] {
    CallScope call(host_, Op::FrameMainWindowHandle, *this);
    call.Out(handle, 0);
    if (call.Faulted()) return call.Fault();
    if (!handle) return call.Finish(E_POINTER, "handle is null");
    *handle = host_.mainWindow;
    return call.Finish(S_OK);
  });
}

}  // namespace stand_in
