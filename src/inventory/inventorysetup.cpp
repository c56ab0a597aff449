#include "inventory/inventorysetup.h"
