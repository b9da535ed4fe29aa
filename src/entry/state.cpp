#include "setup_state.h"

// Zero-initialised at start: archiveOffset 0, every flag 0, every text "".
SetupState setupState;
