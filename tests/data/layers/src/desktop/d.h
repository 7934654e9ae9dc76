#include "desktop/qt/s.h"
#include "study/b.h"
