// Placeholder until the uninstall sequence lands.
#include "uninstall.h"

int RunUninstall() { return 0; }
