#include "desktop/d.h"
#include "study/b.h"
