// Resource identifiers shared by the resource script and the code.
#pragma once

#define IDI_MAIN_NAME "AAA_ICON_main"

// Dialog templates and their controls: the drive dialog uses 100-199,
// the copy dialog 200-299 (see destination_ids.h and copy_ids.h).
#include "destination_ids.h"
#include "copy_ids.h"
