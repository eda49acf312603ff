#include "control/registry_scripts.h"

namespace ravlin {

#define PORT_CLSID "{7C2A9E0E-4F3B-4D8A-9E61-2B7D45C0A311}"
#define PORT_LIBID "{7C2A9E01-4F3B-4D8A-9E61-2B7D45C0A311}"

const char kPortScript[] = R"(HKCR
{
  Cobrix.Port.1 = s 'Qen Port Control 1.0'
  {
    CLSID = s ')" PORT_CLSID R"('
    'Insertable'
  }
  Cobrix.Port = s 'Qen Port Control 1.0'
  {
    CLSID = s ')" PORT_CLSID R"('
    CurVer = s 'Cobrix.Port.1'
  }
  NoRemove CLSID
  {
    ForceRemove )" PORT_CLSID R"( = s 'Qen Port Control 1.0'
    {
      ProgID = s 'Cobrix.Port.1'
      VersionIndependentProgID = s 'Cobrix.Port'
      ForceRemove 'Programmable'
      InprocServer32 = s '%MODULE%'
      {
        val ThreadingModel = s 'Apartment'
      }
      ForceRemove 'Control'
      ForceRemove 'Insertable'
      ForceRemove 'ToolboxBitmap32' = s '%MODULE%, 101'
      'MiscStatus' = s '0'
      {
        '1' = s '132497'
      }
      'TypeLib' = s ')" PORT_LIBID R"('
      'Version' = s '1.0'
      'Verb'
      {
        '0' = s 'ﾌﾟﾛﾊﾟﾃｨ(&P),0,2'
      }
    }
  }
}
)";

// The property pages' scripts differ only in their digit and CLSID.
#define PAGE_SCRIPT(DIGIT, CLSID_TEXT)                  \
  "HKCR\n"                                              \
  "{\n"                                                 \
  "  P19.Port19Ppg" DIGIT ".1 = s 'Port19Ppg" DIGIT     \
  " Class'\n"                                           \
  "  {\n"                                               \
  "    CLSID = s '" CLSID_TEXT                          \
  "'\n"                                                 \
  "  }\n"                                               \
  "  P19.Port19Ppg" DIGIT " = s 'Port19Ppg" DIGIT       \
  " Class'\n"                                           \
  "  {\n"                                               \
  "    CLSID = s '" CLSID_TEXT                          \
  "'\n"                                                 \
  "    CurVer = s 'P19.Port19Ppg" DIGIT                 \
  ".1'\n"                                               \
  "  }\n"                                               \
  "  NoRemove CLSID\n"                                  \
  "  {\n"                                               \
  "    ForceRemove " CLSID_TEXT " = s 'Port19Ppg" DIGIT \
  " Class'\n"                                           \
  "    {\n"                                             \
  "      ForceRemove 'Programmable'\n"                  \
  "      InprocServer32 = s '%MODULE%'\n"               \
  "      {\n"                                           \
  "        val ThreadingModel = s 'Apartment'\n"        \
  "      }\n"                                           \
  "    }\n"                                             \
  "  }\n"                                               \
  "}\n"

const char kPpg1Script[] = PAGE_SCRIPT("1", "{7C2A9E21-4F3B-4D8A-9E61-2B7D45C0A311}");
const char kPpg2Script[] = PAGE_SCRIPT("2", "{7C2A9E22-4F3B-4D8A-9E61-2B7D45C0A311}");
const char kPpg3Script[] = PAGE_SCRIPT("3", "{7C2A9E23-4F3B-4D8A-9E61-2B7D45C0A311}");
const char kPpg4Script[] = PAGE_SCRIPT("4", "{7C2A9E24-4F3B-4D8A-9E61-2B7D45C0A311}");

// The type library is the library itself (its member tables); hosts that browse types find it
// by its id, and the two interfaces point back at it.
const char kTypeLibScript[] = R"(HKCR
{
  NoRemove TypeLib
  {
    ForceRemove )" PORT_LIBID R"(
    {
      '1.0' = s 'Port 1.0 Type Library'
      {
        '0'
        {
          linux64 = s '%MODULE%'
        }
        FLAGS = s '0'
      }
    }
  }
  NoRemove Interface
  {
    ForceRemove {7C2A9E0D-4F3B-4D8A-9E61-2B7D45C0A311} = s 'IPort18'
    {
      TypeLib = s ')" PORT_LIBID R"('
      {
        val Version = s '1.0'
      }
    }
    ForceRemove {7C2A9E0F-4F3B-4D8A-9E61-2B7D45C0A311} = s '_IPort18Events'
    {
      TypeLib = s ')" PORT_LIBID R"('
      {
        val Version = s '1.0'
      }
    }
  }
}
)";

}  // namespace ravlin
