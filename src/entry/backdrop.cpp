// Placeholder until the backdrop window lands: install mode ends after the
// two files are placed.
#include "backdrop.h"
#include "setup_state.h"

ATOM RegisterBackdropClass(HINSTANCE) { return 0; }
int CreateBackdropWindow(HINSTANCE) { return 0; }
void MoveSetupInfo(const char*) {}
