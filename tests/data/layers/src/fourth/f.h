#include "particular/p.h"
#include "summary/s.h"
