#include "binding.h"
#include "app/x.h"
#include "power/run.h"
