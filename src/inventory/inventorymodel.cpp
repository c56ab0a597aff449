#include "inventory/inventorymodel.h"
