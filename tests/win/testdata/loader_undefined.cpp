// A module that needs a function no loaded module defines.
extern "C" int LoaderProbeNowhere();
extern "C" int LoaderUndefinedCall() { return LoaderProbeNowhere(); }
