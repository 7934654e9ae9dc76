#include "app/x.h"
#include "fourth/f.h"
#include "maxima/m.h"
