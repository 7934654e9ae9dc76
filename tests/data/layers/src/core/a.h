#include "study/b.h"
#include <vector>
