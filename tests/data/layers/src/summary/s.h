#include "core/a.h"
#include "study/b.h"
