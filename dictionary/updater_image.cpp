#include "updater_image.h"
