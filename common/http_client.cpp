#include "http_client.h"
