# cmake -DRES=file.res -DOUT=file.cpp -P TessalyEmbedRes.cmake
# Writes a source holding the .res bytes in the section ".rsrc" that hands
# them to platform/win at static initialisation. Aligned to four bytes and
# four-byte sized, so that blobs of several objects follow one another in the
# linked section with no gap.
file(READ ${RES} hex HEX)
string(LENGTH "${hex}" digits)
math(EXPR size "${digits} / 2")
string(REGEX REPLACE "(..)" "0x\\1," bytes "${hex}")
string(REGEX REPLACE "((0x..,){16})" "\\1\n" bytes "${bytes}")
if(size EQUAL 0)
  set(bytes "0")
  set(size 1)
  set(registered 0)
else()
  set(registered ${size})
endif()
file(WRITE ${OUT} "// Generated from ${RES}; do not edit.
#include <stand_in/module.h>

namespace {

__attribute__((section(\".rsrc\"), used, aligned(4))) const unsigned char kResources[${size}] = {
${bytes}
};

struct Registration {
  Registration() { stand_in::RegisterResources(kResources, ${registered}); }
  ~Registration() { stand_in::UnregisterResources(kResources); }
} registration;

}  // namespace
")


