#include "cab/writer/writer.h"
