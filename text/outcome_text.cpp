#include "text/outcome_text.h"
