#include "scripted_http_server.h"
