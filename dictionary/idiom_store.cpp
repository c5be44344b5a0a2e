#include "idiom_store.h"
