#include "html_pane.h"
