#include "internet_settings.h"
