#include "ufrmWord.h"
