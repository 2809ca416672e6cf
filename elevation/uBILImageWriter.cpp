#include "elevation/uBILImageWriter.h"
