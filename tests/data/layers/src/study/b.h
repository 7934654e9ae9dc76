#include "core/a.h"
#include "summary/s.h"
// #include "cli/c.h" is only a comment
