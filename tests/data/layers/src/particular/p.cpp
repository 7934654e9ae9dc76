#include "particular/p.h"
#include "maxima/m.h"
#include "p.h"
#include "study/b.h"
