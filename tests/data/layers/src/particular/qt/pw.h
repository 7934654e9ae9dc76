#include "desktop/qt/s.h"
#include "particular/p.h"
