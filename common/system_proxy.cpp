#include "system_proxy.h"
