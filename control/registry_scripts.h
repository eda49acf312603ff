// The registry scripts of the library: what DllRegisterServer writes and DllUnregisterServer
// takes away, in the registrar's script language (platform/com/registrar.h).
//
// One script per class of the object map (Port and its three property pages), one for the
// fourth page coclass that no class implements (kept with the others but never run), and one
// for the type library and the two interfaces it describes. %MODULE% stands for the library's
// full path. Removal deletes exactly what registration made: the CLSID, TypeLib and Interface
// roots are NoRemove, every key of ours is ForceRemove or removed once empty.
//
// Offers: kPortScript, kPpg1Script, kPpg2Script, kPpg3Script, kPpg4Script, kTypeLibScript.
#pragma once

namespace ravlin {

extern const char kPortScript[];
extern const char kPpg1Script[];
extern const char kPpg2Script[];
extern const char kPpg3Script[];  // the unimplemented page: never registered
extern const char kPpg4Script[];
extern const char kTypeLibScript[];

}  // namespace ravlin
