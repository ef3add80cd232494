#include "Helper/Helper4Ostrakel.h"
#include "Helper/InfoPlist.h"

// Kept in the executable although nothing refers to it.
[[gnu::used, gnu::section(".info_plist")]] constexpr auto kEmbeddedInfoPlist =
    ostrakel::withoutTerminator(ostrakel::kInfoPlistXML);

int main(int argc, char** argv) { return ostrakel::helperMain(argc, argv); }
