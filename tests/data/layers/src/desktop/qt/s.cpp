#include "desktop/d.h"
#include "particular/p.h"
#include "particular/qt/pw.h"
#include "summary/qt/sq.h"
