#include "version_gate.h"
