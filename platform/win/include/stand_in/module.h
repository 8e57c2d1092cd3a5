// The stand-in's module table: which module an address lies in, and the
// resources each module carries.
//
// The build embeds a module's compiled .res bytes in its ELF section ".rsrc"
// and registers them at static initialisation (cmake/TessalyResources.cmake);
// the module they belong to is the one that contains the bytes.
#pragma once

#include <windows.h>

#include <cstddef>
#include <string>

namespace stand_in {

// The module containing `address` (its base address), null when none does.
HMODULE ModuleOf(const void* address);
// The executable's module.
HMODULE ExecutableModule();
// Native path of a loaded module, empty when `module` is none.
std::string ModulePath(HMODULE module);

// Registers (and, when the module goes away, withdraws) the .res bytes
// `data` that the module containing them carries. The bytes stay owned by
// the caller and must outlive the registration.
void RegisterResources(const void* data, size_t size);
void UnregisterResources(const void* data);

// The same for a module that is not loaded but read (LoadLibraryExW as a
// data file): the bytes belong to `module`, and `name` names it in messages.
void RegisterResourcesOf(HMODULE module, const void* data, size_t size, const std::string& name);

// The ".rsrc" section of an ELF file's bytes. Returns false with `error`
// set when the file is no ELF file or is damaged; true with an empty
// section when it has none.
bool ElfResourceSection(const unsigned char* file, size_t size, size_t& offset, size_t& length, std::string& error);

}  // namespace stand_in
