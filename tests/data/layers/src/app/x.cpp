#include "cli/c.h"
#include "desktop/qt/s.h"
#include "fourth/qt/w.h"
