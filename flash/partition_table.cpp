#include "flash/partition_table.h"
