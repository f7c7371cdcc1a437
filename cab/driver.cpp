#include "cab/cab.h"
