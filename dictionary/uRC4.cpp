#include "uRC4.h"
