#include "cli/c.h"
#include "desktop/qt/s.h"
