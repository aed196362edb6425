#include "text/port_text.h"
