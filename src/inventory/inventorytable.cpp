#include "inventory/inventorytable.h"
