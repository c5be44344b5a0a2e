#include "input_filter.h"
