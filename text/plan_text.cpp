#include "text/plan_text.h"
