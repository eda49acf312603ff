// The registrar: runs registry scripts, the text form in which a server library describes the
// keys it registers, against the registry store.
//
// A script names a hive (HKCR / HKEY_CLASSES_ROOT, HKLM / HKEY_LOCAL_MACHINE) and a block of keys:
//
//   HKCR
//   {
//     Cobrix.Port = s 'Qen Port Control 1.0'
//     {
//       CLSID = s '{7C2A9E0E-4F3B-4D8A-9E61-2B7D45C0A311}'
//     }
//     NoRemove CLSID
//     {
//       ForceRemove {7C2A9E0E-4F3B-4D8A-9E61-2B7D45C0A311} = s 'Qen Port Control 1.0'
//       {
//         InprocServer32 = s '%MODULE%'
//         {
//           val ThreadingModel = s 'Apartment'
//         }
//         'Programmable'
//       }
//     }
//   }
//
// A key may carry a default value (= s 'text', d 'number', b 'hex bytes'), named values
// (val name = ...) and sub-keys in braces. Names and texts are bare words or quoted with ''
// ('' inside quotes is one quote). %NAME% is replaced inside every name and text by the
// replacement given for NAME (%% is a percent sign); a replacement is never re-read as script
// syntax, so a module path may hold any character.
//
// Register mode creates the keys and sets the values; a ForceRemove key is first deleted with
// everything below it, a Delete key is deleted. Remove mode deletes named values, deletes
// ForceRemove and Delete keys whole, and deletes plain keys once their listed sub-keys are gone
// and no other sub-keys remain; a key marked NoRemove is never deleted, also where the script
// names it again without the mark. The whole script is checked before anything is changed, and
// applied in one update of the store: a malformed script changes nothing, and other processes
// see the script's keys all at once.
//
// Offers: Registrar (AddReplacement, ClearReplacements, StringRegister, StringUnregister),
// ModulePathOf.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "platform/com/base.h"

namespace win {

class Registrar {
 public:
  HRESULT AddReplacement(const char* name, const char* value);
  HRESULT ClearReplacements();

  // S_OK; DISP_E_EXCEPTION for a malformed script or an unknown %NAME%; E_ACCESSDENIED when
  // the store cannot be written (nothing changed then).
  HRESULT StringRegister(const char* script);
  // Keys and values already missing are skipped.
  HRESULT StringUnregister(const char* script);

 private:
  HRESULT Run(const char* script, bool registering);
  std::vector<std::pair<std::string, std::string>> replacements_;
};

// The full path of the loaded library (or executable) holding address, as %MODULE% wants it;
// "" when it cannot be found.
std::string ModulePathOf(const void* address);

}  // namespace win
