// C interface: the version of the library, set once in CMake's project().
#include "orvex/orvex.h"

const char *orvex_version(void) { return ORVEX_VERSION_STRING; }
