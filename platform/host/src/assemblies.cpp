// Assemblies: their documents, configurations and the tree of components
// that place parts and sub-assemblies.
#include "state.h"

#include <cmath>
#include <stdexcept>

namespace stand_in {
namespace {

// Column-major as the host gives it: the image of (x, y, z) is
// x * column 0 + y * column 1 + z * column 2 + translation.
Transform Compose(const Transform& outer, const Transform& inner) {
  Transform t;
  const double* a = outer.rotation;
  const double* b = inner.rotation;
  for (int column = 0; column < 3; ++column)
    for (int row = 0; row < 3; ++row)
      t.rotation[3 * column + row] =
          a[row] * b[3 * column] + a[3 + row] * b[3 * column + 1] + a[6 + row] * b[3 * column + 2];
  const Point3& p = inner.translation;
  t.translation = {a[0] * p.x + a[3] * p.y + a[6] * p.z + outer.translation.x,
                   a[1] * p.x + a[4] * p.y + a[7] * p.z + outer.translation.y,
                   a[2] * p.x + a[5] * p.y + a[8] * p.z + outer.translation.z};
  return t;
}

// A placement moves a part without bending or mirroring it.
void CheckTransform(const Transform& t) {
  for (int i = 0; i < 9; ++i)
    if (!std::isfinite(t.rotation[i]))
      throw std::invalid_argument("rotation[" + std::to_string(i) + "] is not a finite number");
  const double* c = t.rotation;
  auto dot = [c](int i, int j) {
    return c[3 * i] * c[3 * j] + c[3 * i + 1] * c[3 * j + 1] + c[3 * i + 2] * c[3 * j + 2];
  };
  for (int i = 0; i < 3; ++i)
    for (int j = i; j < 3; ++j)
      if (std::fabs(dot(i, j) - (i == j ? 1.0 : 0.0)) > 1e-9)
        throw std::invalid_argument("the rotation's columns are not orthonormal (column " + std::to_string(i) +
                                    " with column " + std::to_string(j) + ")");
  const double det = c[0] * (c[4] * c[8] - c[5] * c[7]) - c[3] * (c[1] * c[8] - c[2] * c[7]) +
                     c[6] * (c[1] * c[5] - c[2] * c[4]);
  if (det < 0) throw std::invalid_argument("the rotation mirrors: its determinant is negative");
  const Point3& p = t.translation;
  if (!std::isfinite(p.x) || !std::isfinite(p.y) || !std::isfinite(p.z))
    throw std::invalid_argument("the translation is not finite");
}

// Whether `outer` is `inner` or places it, however deep.
bool Holds(const Document& outer, const Document& inner) {
  if (&outer == &inner) return true;
  for (const Component& c : outer.components)
    if (Holds(*c.document, inner)) return true;
  return false;
}

}  // namespace

const Component& Host::AddComponent(const Document& assembly, const Document& placed, const std::string& name,
                                    const Transform& transform, const Material* material) {
  HostState& s = *state_;
  Document& holder = s.Find(assembly, "assembly");
  if (holder.kind != DocumentKind::Assembly) throw std::invalid_argument(holder.title + " is not an assembly");
  const Document& what = s.Find(placed, "placed document");
  if (what.kind == DocumentKind::Drawing)
    throw std::invalid_argument(what.title + " is a drawing: only parts and assemblies are placed");
  if (name.empty()) throw std::invalid_argument("a component's name cannot be empty");
  for (const Component& c : holder.components)
    if (c.name == name) throw std::invalid_argument(holder.title + " already has a component named \"" + name + "\"");
  CheckTransform(transform);
  if (material) CheckMaterial(*material);
  if (Holds(what, holder))
    throw std::invalid_argument("placing " + what.title + " in " + holder.title + " would make " + holder.title +
                                " hold itself");
  Component c;
  c.name = name;
  c.document = &what;
  c.transform = transform;
  if (material) {
    c.ownMaterial = true;
    c.material = *material;
  }
  holder.components.push_back(std::move(c));
  return holder.components.back();
}

STDMETHODIMP ApplicationObject::NewAssemblyDocument(IHostAssemblyDocument** assembly) {
  return ComNoThrow([&] {
    CallScope call(host_, Op::AppNewAssemblyDocument, *this);
    call.Out(assembly, nullptr);
    if (call.Faulted()) return call.Fault();
    if (!assembly) return call.Finish(E_POINTER, "assembly is null");
    auto* made = static_cast<AssemblyObject*>(host_.NewDocument(DocumentKind::Assembly));
    *assembly = HandOut<IHostAssemblyDocument>(made);
    return call.Finish(S_OK);
  });
}

// The components' geometry is always at hand here: nothing to make ready.
STDMETHODIMP AssemblyObject::PreReadStep(LONG value, LONG* result) {
  return ComNoThrow([&] {
    CallScope call(host_, Op::AsmPreReadStep, *this);
    call.Long(value);
    call.Out(result, 0);
    if (call.Faulted()) return call.Fault();
    if (!result) return call.Finish(E_POINTER, "result is null");
    if (value != 0) return call.Finish(E_INVALIDARG, "value " + std::to_string(value) + " is not 0");
    return call.Finish(S_OK);
  });
}

ConfigurationObject* HostState::Configuration(const Document& document) {
  return Cached(configurationObjects, &document, [&] { return Make<ConfigurationObject>(document); });
}

void* ConfigurationObject::Role(REFIID iid) {
  if (iid == __uuidof(IUnknown) || iid == __uuidof(IHostConfiguration)) return static_cast<IHostConfiguration*>(this);
  return nullptr;
}

STDMETHODIMP ConfigurationObject::RootComponent(IHostComponent** component) {
  return ComNoThrow([&] {
    CallScope call(host_, Op::ConfigRootComponent, *this);
    call.Out(component, nullptr);
    if (call.Faulted()) return call.Fault();
    if (!component) return call.Finish(E_POINTER, "component is null");
    if (document_.kind != DocumentKind::Assembly) return call.Finish(S_FALSE, "a part has no components");
    *component = HandOut<IHostComponent>(host_.ComponentView(document_, {}));
    return call.Finish(S_OK);
  });
}

ComponentObject* HostState::ComponentView(const Document& assembly, const ComponentPath& path) {
  return Cached(componentObjects, std::make_pair(&assembly, path),
                [&] { return Make<ComponentObject>(assembly, path); });
}

void* ComponentObject::Role(REFIID iid) {
  if (iid == __uuidof(IUnknown) || iid == __uuidof(IHostComponent)) return static_cast<IHostComponent*>(this);
  return nullptr;
}

std::string ComponentObject::Label() const {
  std::string label = assembly_.title + (path_.empty() ? " root" : "") + " component";
  for (size_t i = 0; i < path_.size(); ++i) label += (i ? "/" : " ") + path_[i]->name;
  return label;
}

const std::deque<Component>* ComponentObject::Below() const {
  if (path_.empty()) return &assembly_.components;
  const stand_in::Document& placed = *path_.back()->document;
  return placed.kind == DocumentKind::Assembly ? &placed.components : nullptr;
}

STDMETHODIMP ComponentObject::Name(BSTR* name) {
  return ComNoThrow([&] {
    CallScope call(host_, Op::CompName, *this);
    call.Out(name, nullptr);
    if (call.Faulted()) return call.Fault();
    if (!name) return call.Finish(E_POINTER, "name is null");
    return call.Finish(GiveText(path_.empty() ? assembly_.title : path_.back()->name, name));
  });
}

// The bodies of the part as it is, not as placed: the reader places them.
STDMETHODIMP ComponentObject::BodyEnumerator(LONG kind, IHostBodyEnumerator** enumerator) {
  return ComNoThrow([&] {
    CallScope call(host_, Op::CompBodyEnumerator, *this);
    call.Long(kind);
    call.Out(enumerator, nullptr);
    if (call.Faulted()) return call.Fault();
    stand_in::Document* part = nullptr;
    if (!path_.empty() && path_.back()->document->kind == DocumentKind::Part)
      part = &host_.ObjectOf(*path_.back()->document)->Model();
    return host_.ListBodies(call, part, kind, true, Label(), enumerator);
  });
}

STDMETHODIMP ComponentObject::Document(IHostDocument** document) {
  return ComNoThrow([&] {
    CallScope call(host_, Op::CompDocument, *this);
    call.Out(document, nullptr);
    if (call.Faulted()) return call.Fault();
    if (!document) return call.Finish(E_POINTER, "document is null");
    if (path_.empty()) return call.Finish(S_FALSE, "the root component places no document");
    *document = HandOut<IHostDocument>(host_.ObjectOf(*path_.back()->document));
    return call.Finish(S_OK);
  });
}

// Placed in the assembly at the root of the tree: the placements of the
// sub-assemblies on the way down come first.
STDMETHODIMP ComponentObject::TransformValues(double* values) {
  return ComNoThrow([&] {
    CallScope call(host_, Op::CompTransformValues, *this);
    call.OutArray(values, kHostTransformValues, 0.0);
    if (call.Faulted()) return call.Fault();
    if (!values) return call.Finish(E_POINTER, "values is null");
    Transform t;
    for (const Component* c : path_) t = Compose(t, c->transform);
    std::copy(t.rotation, t.rotation + 9, values);
    values[9] = t.translation.x;
    values[10] = t.translation.y;
    values[11] = t.translation.z;
    values[12] = 1.0;  // the scale
    values[13] = values[14] = values[15] = 0.0;
    return call.Finish(S_OK);
  });
}

STDMETHODIMP ComponentObject::MaterialValues(double* values) {
  return ComNoThrow([&] {
    CallScope call(host_, Op::CompMaterialValues, *this);
    if (call.Faulted()) {
      call.OutArray(values, kHostMaterialValues, 0.0);
      return call.Fault();
    }
    if (!values) return call.Finish(E_POINTER, "values is null");
    if (path_.empty() || !path_.back()->ownMaterial) return call.Finish(S_FALSE);
    std::copy(path_.back()->material.begin(), path_.back()->material.end(), values);
    return call.Finish(S_OK);
  });
}

STDMETHODIMP ComponentObject::ChildCount(LONG* count) {
  return ComNoThrow([&] {
    CallScope call(host_, Op::CompChildCount, *this);
    call.Out(count, 0);
    if (call.Faulted()) return call.Fault();
    if (!count) return call.Finish(E_POINTER, "count is null");
    const std::deque<Component>* below = Below();
    *count = below ? static_cast<LONG>(below->size()) : 0;
    return call.Finish(S_OK);
  });
}

// Every child's view is made before any is handed out: the array is filled
// whole or not at all.
STDMETHODIMP ComponentObject::Children(IHostComponent** children) {
  return ComNoThrow([&] {
    CallScope call(host_, Op::CompChildren, *this);
    const std::deque<Component>* below = Below();
    call.OutArray(children, below ? below->size() : 0, nullptr);
    if (call.Faulted()) return call.Fault();
    if (!children) return call.Finish(E_POINTER, "children is null");
    if (!below) return call.Finish(S_OK);
    std::vector<ComponentObject*> views;
    views.reserve(below->size());
    ComponentPath path = path_;
    path.push_back(nullptr);
    for (const Component& c : *below) {
      path.back() = &c;
      views.push_back(host_.ComponentView(assembly_, path));
    }
    for (size_t i = 0; i < views.size(); ++i) children[i] = HandOut<IHostComponent>(views[i]);
    return call.Finish(S_OK);
  });
}

}  // namespace stand_in
