#include "entry_html.h"
